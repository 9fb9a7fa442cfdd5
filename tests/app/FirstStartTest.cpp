// The first start of the program: video detection starts off, and the program says so once and
// where to switch it on; --headless --video switches it on for that run only.
#include "support/BuiltProgram.h"
#include "support/FrameBuilder.h"
#include "support/PcapFileWriter.h"
#include "support/SkipUnlessCi.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kNotice = QByteArrayLiteral(
    "Video detection is off. To catch videos, open Settings and check \"Search for videos in your HTTP internet "
    "traffic\".");

class FirstStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        // One request for an MP4 and its answer: a video candidate when video detection is on.
        using Link = FrameBuilder::Link;
        m_pcap = m_dir.filePath(QStringLiteral("video.pcap"));
        PcapFileWriter writer(m_pcap, FrameBuilder::linkType(Link::LinuxCooked));
        const QList<QByteArray> headers = {"Host: 127.0.0.1:8080", "User-Agent: Browser"};
        writer.write(FrameBuilder::frame(
            {40000, 8080, 1, FrameBuilder::requestText("/clip.mp4", headers), 12, Link::LinuxCooked}));
        writer.write(FrameBuilder::frame(
            {8080, 40000, 1, FrameBuilder::responseText({"Content-Type: video/mp4"}), 12, Link::LinuxCooked}));
    }

    BuiltProgram::Run headless(const QStringList& extra) const
    {
        return m_trawlix.run(extra + QStringList{QStringLiteral("--pcap"), m_pcap}, 30000);
    }

    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.filePath(QStringLiteral("trawlix"))};
    QString m_pcap;
};

TEST_F(FirstStart, SaysOnceThatVideoDetectionIsOffAndDetectsNoVideo)
{
    const BuiltProgram::Run first = headless({});
    ASSERT_EQ(first.exitCode, 0) << first.err.constData();
    EXPECT_EQ(first.err.count(kNotice), 1) << first.err.constData();
    EXPECT_FALSE(first.out.contains("clip.mp4")) << first.out.constData();
    EXPECT_EQ(m_trawlix.setting(QStringLiteral("downloadhttp")), QStringLiteral("false")) << "the stored default";

    const BuiltProgram::Run second = headless({});
    ASSERT_EQ(second.exitCode, 0);
    EXPECT_FALSE(second.err.contains(kNotice)) << "only the first start tells";
}

TEST_F(FirstStart, VideoSwitchesDetectionOnForThisRunOnly)
{
    const BuiltProgram::Run on = headless({QStringLiteral("--video")});
    ASSERT_EQ(on.exitCode, 0) << on.err.constData();
    EXPECT_TRUE(on.out.contains("http://127.0.0.1:8080/clip.mp4")) << on.out.constData();
    EXPECT_FALSE(on.err.contains(kNotice)) << "detection is on in this run";
    EXPECT_EQ(m_trawlix.setting(QStringLiteral("downloadhttp")), QStringLiteral("false")) << "nothing was stored";

    const BuiltProgram::Run off = headless({});
    EXPECT_FALSE(off.out.contains("clip.mp4")) << off.out.constData();
}

} // namespace
