#include "ui/tools/page1.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/ScopedSettingsStore.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QStringList childTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

class page1Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable() || QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg and ffprobe are needed");
    }

    ScopedSettingsStore m_store;
};

TEST_F(page1Test, ShowsAVideoAndTwoAudioStreamsOfARealFile)
{
    const QString path = QDir(m_store.dir()).filePath(QStringLiteral("1700000000.mp4"));
    ASSERT_TRUE(MediaFixture::make(path, {QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("testsrc=size=320x240:rate=25:duration=1"),
                                          QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1"),
                                          QStringLiteral("-f"),
                                          QStringLiteral("lavfi"),
                                          QStringLiteral("-i"),
                                          QStringLiteral("sine=frequency=880:sample_rate=22050:duration=1"),
                                          QStringLiteral("-map"),
                                          QStringLiteral("0"),
                                          QStringLiteral("-map"),
                                          QStringLiteral("1"),
                                          QStringLiteral("-map"),
                                          QStringLiteral("2"),
                                          QStringLiteral("-pix_fmt"),
                                          QStringLiteral("yuv420p"),
                                          QStringLiteral("-c:v"),
                                          QStringLiteral("libx264"),
                                          QStringLiteral("-preset"),
                                          QStringLiteral("ultrafast"),
                                          QStringLiteral("-c:a"),
                                          QStringLiteral("aac"),
                                          QStringLiteral("-ac"),
                                          QStringLiteral("2"),
                                          QStringLiteral("-metadata:s:a:0"),
                                          QStringLiteral("language=eng")}));

    page1 window(QStringLiteral("Holiday"), QStringLiteral("MP4"), path);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Media Analyzer"));
    QTreeWidget* tree = window.tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    const QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("Media Analyzer: Holiday.mp4"));
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(childTexts(root),
              QStringList({QStringLiteral("Stream #0 (video stream)"), QStringLiteral("Stream #1 (audio stream)"),
                           QStringLiteral("Stream #2 (audio stream)")}));

    const QStringList video = childTexts(root->child(0));
    EXPECT_TRUE(root->child(0)->isExpanded());
    EXPECT_EQ(video.value(0), QStringLiteral("Duration, sec: 1.000000"));
    EXPECT_TRUE(video.contains(QStringLiteral("Codec name: h264")));
    EXPECT_TRUE(video.contains(QStringLiteral("Pixel format: yuv420p")));
    EXPECT_TRUE(video.contains(QStringLiteral("Frame rate, fps: 25/1")));
    EXPECT_TRUE(video.contains(QStringLiteral("Width: 320")));
    EXPECT_TRUE(video.contains(QStringLiteral("Height: 240")));
    EXPECT_FALSE(video.filter(QStringLiteral("Bitrate, bps: ")).value(0).contains(QStringLiteral("N/A")));
    EXPECT_TRUE(video.filter(QStringLiteral("Language: ")).isEmpty()) << "und is left out";

    const QStringList first = childTexts(root->child(1));
    const QStringList second = childTexts(root->child(2));
    EXPECT_TRUE(first.contains(QStringLiteral("Codec name: aac")));
    EXPECT_TRUE(first.contains(QStringLiteral("Codec profile: LC")));
    EXPECT_TRUE(first.contains(QStringLiteral("Sample rate, Hz: 44100")));
    EXPECT_TRUE(first.contains(QStringLiteral("Channels: 2")));
    EXPECT_EQ(first.last(), QStringLiteral("Language: eng"));
    EXPECT_TRUE(second.contains(QStringLiteral("Sample rate, Hz: 22050")));
    EXPECT_TRUE(second.filter(QStringLiteral("Language")).isEmpty()) << "only the first stream has a language";
    EXPECT_EQ(first.filter(QStringLiteral("Width")).size() + second.filter(QStringLiteral("Height")).size(), 0);
}

TEST_F(page1Test, WithoutStreamsOnlyTheRootIsShown)
{
    const QString text = QDir(m_store.dir()).filePath(QStringLiteral("notes.mp4"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not media at all");
    file.close();
    for (const QString& path : {text, QString(), QDir(m_store.dir()).filePath(QStringLiteral("missing.mp4"))}) {
        page1 window(QStringLiteral("Notes"), QString(), path);
        ASSERT_EQ(window.tree()->topLevelItemCount(), 1);
        EXPECT_EQ(window.tree()->topLevelItem(0)->text(0), QStringLiteral("Media Analyzer: Notes"));
        EXPECT_EQ(window.tree()->topLevelItem(0)->childCount(), 0) << path.toStdString();
    }
}

} // namespace
