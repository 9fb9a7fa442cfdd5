// The first start of the program: video detection starts off, and the program says so once and
// where to switch it on; --headless --video switches it on for that run only.
#include "base/Settings.h"
#include "support/FrameBuilder.h"
#include "support/PcapFileWriter.h"
#include "support/SkipUnlessCi.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");
const QString kNotice = QStringLiteral(
    "Video detection is off. To catch videos, open Settings and check \"Search for videos in your HTTP internet "
    "traffic\".");

struct Output
{
    int exitCode = -1;
    QString out;
    QString err;
};

class FirstStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kBinary).isExecutable())
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

    Output headless(const QStringList& extra)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        environment.remove(QStringLiteral("TRAWLIX_HOME"));
        process.setProcessEnvironment(environment);
        process.start(kBinary, QStringList{QStringLiteral("--headless")} + extra +
                                   QStringList{QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("data")),
                                               QStringLiteral("--pcap"), m_pcap});
        Output output;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return output;
        }
        output.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        output.out = QString::fromUtf8(process.readAllStandardOutput());
        output.err = QString::fromUtf8(process.readAllStandardError());
        return output;
    }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("config/Trawlix/Trawlix.conf")); }

    QTemporaryDir m_dir;
    QString m_pcap;
};

TEST_F(FirstStart, SaysOnceThatVideoDetectionIsOffAndDetectsNoVideo)
{
    const Output first = headless({});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(first.err.count(kNotice), 1) << first.err.toStdString();
    EXPECT_FALSE(first.out.contains(QLatin1String("clip.mp4"))) << first.out.toStdString();
    EXPECT_EQ(Settings(settingsPath()).read(QStringLiteral("downloadhttp")), QStringLiteral("false"))
        << "the stored default";

    const Output second = headless({});
    ASSERT_EQ(second.exitCode, 0);
    EXPECT_FALSE(second.err.contains(kNotice)) << "only the first start tells";
}

TEST_F(FirstStart, VideoSwitchesDetectionOnForThisRunOnly)
{
    const Output on = headless({QStringLiteral("--video")});
    ASSERT_EQ(on.exitCode, 0) << on.err.toStdString();
    EXPECT_TRUE(on.out.contains(QLatin1String("http://127.0.0.1:8080/clip.mp4"))) << on.out.toStdString();
    EXPECT_FALSE(on.err.contains(kNotice)) << "detection is on in this run";
    EXPECT_EQ(Settings(settingsPath()).read(QStringLiteral("downloadhttp")), QStringLiteral("false"))
        << "nothing was stored";

    const Output off = headless({});
    EXPECT_FALSE(off.out.contains(QLatin1String("clip.mp4"))) << off.out.toStdString();
}

} // namespace
