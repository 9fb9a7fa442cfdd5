#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "tools/ToolRunner.h"

#include <QFileInfo>
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

} // namespace
