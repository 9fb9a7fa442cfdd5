#include "ui/tools/Page7.h"

#include "ShellFixture.h"
#include "ui/mainwindow/Page2.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "tools/ToolRunner.h"

#include <QCheckBox>
#include <QDir>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kPlaylist = QStringLiteral("https://www.youtube.com/watch?v=abc&list=PL123");

class Page7Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Texts::init(QStringLiteral("EN"));
        ASSERT_TRUE(m_dir.isValid());
        AppPaths::setDataDir(m_dir.path());
    }

    static void leaveField(QLineEdit* field)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(field, &out);
    }

    QTemporaryDir m_dir;
};

TEST_F(Page7Test, IdleStateAndThePlaylistTest)
{
    Page7 page;
    page.show();
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Video Downloader"));
    EXPECT_EQ(page.frame()->title(),
              QStringLiteral("Enter the link of the video you want to download: e.g. ") + Page7::exampleAddress());
    EXPECT_EQ(page.mainButton()->text(), QStringLiteral("Download!"));
    EXPECT_TRUE(page.addressField()->isVisible());
    EXPECT_TRUE(page.addressField()->text().isEmpty());
    for (QWidget* hidden : {static_cast<QWidget*>(page.anotherButton()), static_cast<QWidget*>(page.statusLabel()),
                            static_cast<QWidget*>(page.statusField()), static_cast<QWidget*>(page.playlistGroup())})
        EXPECT_FALSE(hidden->isVisible());
    EXPECT_TRUE(page.picture()->isVisible());

    struct Row
    {
        QString address;
        bool playlist;
    };
    const Row rows[] = {
        {kPlaylist, true},
        {QStringLiteral("https://www.youtube.com/watch?v=abc"), false}, // the site, no "list=": one video
        {QStringLiteral("https://youtu.be/abc?list=PL1"), true},
        {QStringLiteral("https://example.org/?list=1"), false},
    };
    for (const Row& row : rows) {
        page.itemsBox()->setChecked(true);
        page.audioBox()->setChecked(true);
        page.addressField()->setText(row.address);
        EXPECT_EQ(page.playlistGroup()->isVisible(), row.playlist) << row.address.toStdString();
        EXPECT_EQ(page.picture()->isVisible(), !row.playlist);
        // Whatever was checked before, the test starts over; hidden boxes never count.
        EXPECT_FALSE(page.itemsBox()->isChecked());
        EXPECT_FALSE(page.audioBox()->isChecked());
        EXPECT_EQ(page.indexField()->text(), QStringLiteral("e.g. 1,2,5"));
        EXPECT_FALSE(page.indexField()->isEnabled());
    }
}

TEST_F(Page7Test, IndexFieldFollowsItsCheckboxAndKeepsOnlyIndexes)
{
    Page7 page;
    page.show();
    page.addressField()->setText(kPlaylist);
    page.itemsBox()->setChecked(true);
    EXPECT_TRUE(page.indexField()->text().isEmpty()) << "the placeholder goes";
    EXPECT_TRUE(page.indexField()->isEnabled());
    page.indexField()->setText(QStringLiteral("1-3, 7a"));
    leaveField(page.indexField());
    EXPECT_EQ(page.indexField()->text(), QStringLiteral("1-3,7"));
    page.itemsBox()->setChecked(false);
    EXPECT_EQ(page.indexField()->text(), QStringLiteral("1-3,7")) << "typed indexes stay";
    EXPECT_FALSE(page.indexField()->isEnabled());
    page.itemsBox()->setChecked(true);
    page.indexField()->clear();
    page.itemsBox()->setChecked(false);
    EXPECT_EQ(page.indexField()->text(), QStringLiteral("e.g. 1,2,5")) << "an empty field gets it back";
}

TEST_F(Page7Test, RefusedStartsExplainInTheStatusField)
{
    Page7 page;
    page.show();
    struct Row
    {
        QString address;
        bool items;
        const char* reason;
    };
    const Row rows[] = {
        {QStringLiteral("ftp://127.0.0.1/clip.mp4"), false, "http"},
        {QStringLiteral("not an address"), false, "http"},
        {kPlaylist, true, "playlist items"}, // items asked for, none given
    };
    for (const Row& row : rows) {
        page.addressField()->setText(row.address);
        page.itemsBox()->setChecked(row.items);
        QTest::mouseClick(page.mainButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(page.statusField()->toPlainText().contains(QLatin1String(row.reason)), 5000);
        EXPECT_TRUE(page.isVisible()) << "the window stays for another try";
        EXPECT_EQ(page.mainButton()->text(), QStringLiteral("Download!"));
        EXPECT_EQ(page.windowTitle(), QStringLiteral("Video Downloader"));
    }
    int opened = 0;
    page.openAnother = [&] { ++opened; };
    page.anotherButton()->click();
    EXPECT_EQ(opened, 1);
}

TEST_F(Page7Test, RunningShowsProgressAndAbortClosesWithNothingLeft)
{
    if (ToolRunner::findTool(QStringLiteral("yt-dlp")).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("yt-dlp is not installed");
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    const QString www = m_dir.filePath(QStringLiteral("www"));
    ASSERT_TRUE(QDir().mkpath(www));
    ASSERT_TRUE(MediaFixture::make(www + QStringLiteral("/long.mp4"),
                                   {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                    QStringLiteral("testsrc=size=320x240:rate=25:duration=8"), QStringLiteral("-b:v"),
                                    QStringLiteral("800k"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")}));
    NginxServer server(www);
    server.setServerDirectives(QStringLiteral("        location /slow/ { limit_rate 8k; alias %1/; }\n").arg(www));
    if (!server.isAvailable())
        TRAWLIX_SKIP_UNLESS_CI("nginx is not installed");
    ASSERT_TRUE(server.start()) << server.error().toStdString();

    auto* page = new Page7;
    page->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<Page7> alive(page);
    page->show();
    const QString address = server.url(QStringLiteral("/slow/long.mp4"));
    page->addressField()->setText(address);
    QTest::mouseClick(page->mainButton(), Qt::LeftButton);
    EXPECT_EQ(page->mainButton()->text(), QStringLiteral("Abort"));
    EXPECT_EQ(page->frame()->title(), QStringLiteral("Processing ") + address);
    EXPECT_FALSE(page->addressField()->isVisible());
    EXPECT_TRUE(page->anotherButton()->isVisible());
    EXPECT_TRUE(page->statusLabel()->isVisible());
    EXPECT_TRUE(page->statusField()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(page->windowTitle().endsWith(QStringLiteral("..Downloading")), 30000);
    EXPECT_TRUE(page->windowTitle().contains(QLatin1Char('%'))) << page->windowTitle().toStdString();
    EXPECT_TRUE(page->statusField()->toPlainText().contains(QStringLiteral("[download]")));
    EXPECT_FALSE(page->statusField()->toPlainText().contains(QStringLiteral("yt-dlp")));

    QTest::mouseClick(page->mainButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 20000); // back to idle, then the window closes itself
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
    EXPECT_TRUE(QDir(AppPaths::folder(AppPaths::Folder::TempDownloads))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
}

TEST(Page7FromTheMainWindow, TheMenuOpensDownloadersAndAnotherLinkOneMore)
{
    ShellFixture shell;
    emit shell.page().toolRequested(ShellCommand::DownloadVideoByURL);
    QList<Page7*> open = shell.page().findChildren<Page7*>();
    ASSERT_EQ(open.size(), 1);
    EXPECT_TRUE(open.at(0)->isVisible());
    EXPECT_FALSE(open.at(0)->isModal());
    open.at(0)->anotherButton()->click();
    open = shell.page().findChildren<Page7*>();
    ASSERT_EQ(open.size(), 2) << "several downloaders at once";
    open.at(1)->close();
    QTRY_COMPARE(shell.page().findChildren<Page7*>().size(), 1);
}

TEST(Page7FromTheMainWindow, AFinishedDownloadEntersTheTableAndTheWindowCloses)
{
    if (ToolRunner::findTool(QStringLiteral("yt-dlp")).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("yt-dlp is not installed");
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    ShellFixture shell;
    const QString www = shell.dataDir() + QStringLiteral("www");
    ASSERT_TRUE(QDir().mkpath(www));
    ASSERT_TRUE(MediaFixture::makeClip(www + QStringLiteral("/clip.mp4"), 1));
    NginxServer server(www);
    if (!server.isAvailable())
        TRAWLIX_SKIP_UNLESS_CI("nginx is not installed");
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    for (const char* folder : {"16x16", "32x32", "160x90", "Screens", "FavIcons", "Temp"})
        QDir().mkpath(shell.dataDir() + QLatin1String(folder));
    shell.engine().startLibraryWorkers();

    emit shell.page().toolRequested(ShellCommand::DownloadVideoByURL);
    QPointer<Page7> page = shell.page().findChild<Page7*>();
    ASSERT_FALSE(page.isNull());
    page->addressField()->setText(server.url(QStringLiteral("/clip.mp4")));
    QTest::mouseClick(page->mainButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(page.isNull(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(shell.model().rowCount(), 1, 30000);
    EXPECT_EQ(shell.model().rowAt(0).title, QStringLiteral("clip"));
    EXPECT_EQ(shell.model().rowAt(0).author, server.url(QStringLiteral("/clip.mp4")));
    shell.engine().stopLibraryWorkers();
}

} // namespace
