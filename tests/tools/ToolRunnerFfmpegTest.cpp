#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "tools/ToolRunner.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ToolRunnerFfmpegTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        ASSERT_TRUE(m_dir.isValid());
    }

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
};

TEST_F(ToolRunnerFfmpegTest, CollectReadsTheDurationOfGeneratedMedia)
{
    ASSERT_TRUE(MediaFixture::makeClip(path("in clip.mp4"), 3));
    const QString text =
        ToolRunner::runTool(ToolCommand{QStringLiteral("ffmpeg"), {QStringLiteral("-i"), path("in clip.mp4")}});
    EXPECT_TRUE(text.contains(QStringLiteral("Duration: 00:00:03.0"))) << qPrintable(text);
}

TEST_F(ToolRunnerFfmpegTest, PercentModeFollowsARealConversion)
{
    ASSERT_TRUE(MediaFixture::makeClip(path("in.mp4"), 4));
    QStringList shown;
    ToolRunner::runToolWithPercent(ToolCommand{QStringLiteral("ffmpeg"),
                                               {QStringLiteral("-y"), QStringLiteral("-stats_period"),
                                                QStringLiteral("0.05"), QStringLiteral("-i"), path("in.mp4"),
                                                QStringLiteral("-c:v"), QStringLiteral("mpeg4"), path("out.avi")}},
                                   4, QStringLiteral(" out.avi"), QStringLiteral("..Converting "),
                                   [&](const QString& text) { shown << text; });
    ASSERT_FALSE(shown.isEmpty());
    const QRegularExpression pattern(QStringLiteral("^(\\d{1,3})%\\.\\.Converting  out\\.avi$"));
    int previous = 0;
    for (const QString& text : shown) {
        const auto match = pattern.match(text);
        ASSERT_TRUE(match.hasMatch()) << qPrintable(text);
        const int percent = match.captured(1).toInt();
        EXPECT_GE(percent, previous);
        EXPECT_LE(percent, 100);
        previous = percent;
    }
    EXPECT_GE(previous, 75);
    EXPECT_GT(QFileInfo(path("out.avi")).size(), 0);
}

TEST_F(ToolRunnerFfmpegTest, ElapsedModeStopsARecordingThatStillEndsItsFile)
{
    ToolRunner::RunFlag flag{true};
    QStringList shown;
    const QString wav = path("record.wav");
    ToolRunner::runToolElapsed(ToolCommand{QStringLiteral("ffmpeg"),
                                           {QStringLiteral("-y"), QStringLiteral("-re"), QStringLiteral("-f"),
                                            QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine"),
                                            QStringLiteral("-stats_period"), QStringLiteral("0.1"), wav}},
                               flag, [&](const QString& text) {
                                   shown << text;
                                   flag = false;
                               });
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d - Recording\\.\\.\\.$")).match(shown.first()).hasMatch())
        << qPrintable(shown.first());
    // SIGTERM lets ffmpeg write its trailer: the recording is a readable file.
    const QString probe = ToolRunner::runTool(ToolCommand{QStringLiteral("ffmpeg"), {QStringLiteral("-i"), wav}});
    EXPECT_TRUE(probe.contains(QStringLiteral("Audio: pcm_s16le"))) << qPrintable(probe);
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
}

} // namespace
