#include "ShellFixture.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "download/DownloadRows.h"
#include "library/ScanScheduler.h"
#include "library/TagStore.h"
#include "ui/controls/MenuRail.h"
#include "ui/controls/PlayerBar.h"
#include "ui/controls/ThumbnailStrip.h"
#include "ui/controls/TrafficMonitor.h"
#include "ui/mainwindow/DownloadListWidget.h"
#include "ui/mainwindow/FilterPanel.h"
#include "ui/mainwindow/MediaViews.h"
#include "ui/mainwindow/PlayerController.h"
#include "ui/mainwindow/ShellLayout.h"
#include "ui/mainwindow/ShellTray.h"
#include "ui/mainwindow/WindowPlacement.h"
#include "ui/player/Player.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <QDeadlineTimer>
#include <QFile>
#include <QMessageBox>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>

namespace {

QString titleTag(const QString& path)
{
    return TagStore::read(path, QStringLiteral("title"));
}

QList<int> actionIds(QMenu* menu)
{
    QList<int> ids;
    for (QAction* action : menu->actions()) {
        if (action->menu())
            ids += actionIds(action->menu());
        else if (!action->isSeparator())
            ids << action->data().toInt();
    }
    return ids;
}

void check(MediaTableModel& model, int row)
{
    model.setData(model.index(row, 0), Qt::Checked, Qt::CheckStateRole);
}

TEST(Page2Delete, OneCheckedRowDeletesTheSelectedRowNotTheCheckedOne)
{
    ShellFixture shell;
    const QString oldest = shell.addRow(QStringLiteral("Oldest"), QStringLiteral("1700000001"));
    const QString middle = shell.addRow(QStringLiteral("Middle"), QStringLiteral("1700000002"));
    const QString newest = shell.addRow(QStringLiteral("Newest"), QStringLiteral("1700000003"));
    check(shell.model(), 2);                                          // "Oldest"
    shell.page().dispatch(ShellCommand::ClickInPlayer);               // no effect on rows
    shell.page().table()->setCurrentIndex(shell.model().index(1, 0)); // "Middle"

    shell.page().dispatch(ShellCommand::MovieDelete);

    ASSERT_EQ(shell.model().rowCount(), 2);
    EXPECT_EQ(shell.model().rowOfPath(middle), -1);
    EXPECT_TRUE(TagStore::isMarkedForDeletion(middle));
    EXPECT_FALSE(TagStore::isMarkedForDeletion(oldest));
    EXPECT_FALSE(TagStore::isMarkedForDeletion(newest));
    // The file itself stays until the next start; the next row takes the selection.
    EXPECT_TRUE(QFileInfo::exists(middle));
    EXPECT_EQ(shell.page().selectedRow(), 1);
    // The question names the file.
    EXPECT_EQ(shell.questions, QStringList{QStringLiteral("Are you sure you want to delete \"Middle\"?")});
}

TEST(Page2Delete, TwoCheckedRowsDeleteBothAfterOneQuestion)
{
    ShellFixture shell;
    const QString a = shell.addRow(QStringLiteral("A"), QStringLiteral("1700000001"));
    const QString b = shell.addRow(QStringLiteral("B"), QStringLiteral("1700000002"));
    const QString c = shell.addRow(QStringLiteral("C"), QStringLiteral("1700000003"));
    check(shell.model(), 0);
    check(shell.model(), 2);
    shell.page().table()->setCurrentIndex(shell.model().index(1, 0));

    shell.page().libraryActions().deleteMedia();

    EXPECT_EQ(shell.model().rowCount(), 1);
    EXPECT_EQ(shell.model().rowAt(0).path, b);
    EXPECT_TRUE(TagStore::isMarkedForDeletion(a));
    EXPECT_TRUE(TagStore::isMarkedForDeletion(c));
    EXPECT_EQ(shell.questions, QStringList{tx(u"Are you sure you want to delete the selected media files?")});
}

TEST(Page2Delete, QuestionRulesAndEmptyTable)
{
    {
        // "No" keeps everything.
        ShellFixture shell;
        const QString a = shell.addRow(QStringLiteral("A"), QStringLiteral("1700000001"));
        shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
        shell.answer = false;
        shell.page().libraryActions().deleteMedia();
        EXPECT_EQ(shell.model().rowCount(), 1);
        EXPECT_EQ(titleTag(a), tx(u"Unnamed media file"));
    }
    {
        // "showdialogs" in any letter case asks; anything else deletes without a question.
        for (const char* stored : {"TRUE", "false", ""}) {
            ShellFixture shell;
            shell.settings().write(QStringLiteral("showdialogs"), QString::fromLatin1(stored));
            shell.addRow(QStringLiteral("A"), QStringLiteral("1700000001"));
            shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
            shell.page().libraryActions().deleteMedia();
            EXPECT_EQ(shell.model().rowCount(), 0) << stored;
            EXPECT_EQ(shell.questions.size(), QByteArray(stored) == "TRUE" ? 1 : 0) << stored;
        }
    }
    {
        // Keys and menu commands need a row; an empty table asks nothing.
        ShellFixture shell;
        shell.page().dispatch(ShellCommand::MovieDelete);
        QTest::keyClick(shell.page().table(), Qt::Key_Delete);
        EXPECT_TRUE(shell.questions.isEmpty());
    }
}

TEST(Page2Delete, DeleteKeyOnTheTableDeletes)
{
    ShellFixture shell;
    shell.addRow(QStringLiteral("A"), QStringLiteral("1700000001"));
    shell.addRow(QStringLiteral("B"), QStringLiteral("1700000002"));
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
    QTest::keyClick(shell.page().table(), Qt::Key_Delete);
    ASSERT_EQ(shell.model().rowCount(), 1);
    EXPECT_EQ(shell.model().rowAt(0).title, QStringLiteral("A"));
}

TEST(Page2PlayList, AClickOnAPhotoSelectsItsRowAndBeyondTheLastDoesNothing)
{
    ShellFixture shell;
    shell.addRow(QStringLiteral("A"), QStringLiteral("1700000001"));
    shell.addRow(QStringLiteral("B"), QStringLiteral("1700000002"));
    shell.writeSlideshow({QStringLiteral("1700000002.mp4"), QStringLiteral("1700000001.mp4")});
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));

    // The list may have shrunk between the strip's reading and the click.
    for (const int index : {2, 99, -1}) {
        shell.page().playerController().playListClick(index);
        EXPECT_EQ(shell.page().selectedRow(), 0) << index;
    }
    // Photo 1 names the older file, which is row 1.
    ThumbnailStrip* strip = shell.page().thumbnailStrip();
    strip->reload();
    ASSERT_EQ(strip->entryCount(), 2);
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->thumbnailRect(1).center());
    EXPECT_EQ(shell.page().selectedRow(), 1);
    // Between the photos is no photo.
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->thumbnailRect(1).topLeft() - QPoint(0, 2));
    EXPECT_EQ(shell.page().selectedRow(), 0);
}

TEST(Page2Monitor, DisableAndEnableSwitchTheFlagAndTheSwitch)
{
    ShellFixture shell;
    QSignalSpy changes(&shell.page(), &Page2::monitoringChanged);
    EXPECT_TRUE(shell.page().monitoring());
    EXPECT_TRUE(shell.page().trafficMonitor()->monitoringShown());
    // The English interface keeps the monitor hidden.
    EXPECT_FALSE(shell.page().trafficMonitor()->isVisibleTo(&shell.page()));

    shell.page().dispatch(ShellCommand::Disable);
    EXPECT_FALSE(shell.page().monitoring());
    EXPECT_FALSE(shell.page().trafficMonitor()->monitoringShown());
    shell.page().dispatch(ShellCommand::Enable);
    EXPECT_TRUE(shell.page().monitoring());
    EXPECT_TRUE(shell.page().trafficMonitor()->monitoringShown());
    ASSERT_EQ(changes.size(), 2);
    EXPECT_FALSE(changes.at(0).at(0).toBool());
    EXPECT_TRUE(changes.at(1).at(0).toBool());
}

// The bar's buttons reach the player, and what the player does comes back to the bar.
TEST(Page2Player, TheBarAndThePlayerTalkBothWays)
{
    ShellFixture shell;
    shell.page().show(); // the bar places its buttons when shown
    PlayerBar* bar = shell.page().playerBar();
    shell.page().player()->setVolume(40);
    EXPECT_EQ(bar->volumeText(), QStringLiteral("40%"));
    // Without media libvlc reports its own volume, so the step starts from whatever it says.
    QSignalSpy volumes(shell.page().player(), &Player::volumeChanged);
    for (const ShellCommand command : {ShellCommand::VolumePlus, ShellCommand::VolumeMinus}) {
        volumes.clear();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->buttonRect(command).center());
        EXPECT_EQ(shell.page().lastCommand(), command);
        ASSERT_EQ(volumes.size(), 1);
        EXPECT_EQ(bar->volumeText(), QString::number(volumes.at(0).at(0).toInt()) + QLatin1Char('%'));
    }

    // The stop button refreshes the bar at once: nothing is loaded, so both times are zero.
    bar->setPosition(QStringLiteral("0:00:09"), QStringLiteral("0:00:30"), 30);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->buttonRect(ShellCommand::PlayerStrop).center());
    EXPECT_EQ(shell.page().lastCommand(), ShellCommand::PlayerStrop);
    EXPECT_EQ(bar->positionText(), QStringLiteral("0:00:00"));
    EXPECT_EQ(bar->percent(), 0);
}

TEST(Page2Monitor, MenuRailFollowsTheLanguage)
{
    ShellFixture shell;
    EXPECT_TRUE(shell.page().menuRail()->english());
    Texts::init(QStringLiteral("RU"));
    {
        Engine engine;
        Page2 russian(engine);
        russian.exitHandler = [] {};
        russian.start();
        EXPECT_FALSE(russian.menuRail()->english());
        EXPECT_TRUE(russian.trafficMonitor()->isVisibleTo(&russian));
        EXPECT_GT(russian.trafficMonitor()->width(), 0);
        // A click on the switch turns the watching off, and the switch follows.
        QTest::mouseClick(russian.trafficMonitor(), Qt::LeftButton, {}, russian.trafficMonitor()->rect().center());
        EXPECT_EQ(russian.lastCommand(), ShellCommand::Disable);
        EXPECT_FALSE(russian.monitoring());
        EXPECT_FALSE(russian.trafficMonitor()->monitoringShown());
    }
    Texts::init(QStringLiteral("EN"));
}

TEST(Page2Menu, EveryMenuButtonReachesTheDispatcher)
{
    ShellFixture shell;
    QSignalSpy tools(&shell.page(), &Page2::toolRequested);
    QSignalSpy imports(&shell.page(), &Page2::importRequested);
    MenuRail* rail = shell.page().menuRail();
    ASSERT_EQ(MenuRail::items().size(), 14);
    for (int i = 0; i < MenuRail::items().size(); ++i) {
        const ShellCommand command = MenuRail::items().at(i).command;
        if (command == ShellCommand::Support || command == ShellCommand::Settings ||
            command == ShellCommand::OpenBrowser)
            continue; // modal windows and the browsers
        const QRect button = rail->buttonRect(i);
        ASSERT_TRUE(rail->rect().contains(button)) << i;
        QTest::mouseClick(rail, Qt::LeftButton, {}, button.center());
        EXPECT_EQ(shell.page().lastCommand(), command) << i;
    }
    // A press that ends on another button is no click.
    const std::optional<ShellCommand> before = shell.page().lastCommand();
    QTest::mousePress(rail, Qt::LeftButton, {}, rail->buttonRect(0).center());
    QTest::mouseRelease(rail, Qt::LeftButton, {}, rail->buttonRect(1).center());
    EXPECT_EQ(shell.page().lastCommand(), before);
    EXPECT_EQ(imports.size(), 1);
    // "Burn" only tells how: files are dragged into a disc burning program.
    ASSERT_EQ(shell.informed.size(), 1);
    EXPECT_TRUE(shell.informed.constFirst().contains(QStringLiteral("drag"), Qt::CaseInsensitive))
        << shell.informed.constFirst().toStdString();
    // Without rows only the tools that need none are asked for.
    EXPECT_EQ(tools.size(), 2);
    // No screen recorder comes with the program: no button offers one.
    for (const MenuRail::Item& item : MenuRail::items())
        EXPECT_NE(item.command, ShellCommand::RecordVideo);
}

// "Open a browser for capture" starts the default browser (here a stand-in named by $BROWSER)
// writing the key log the capture reads, and says so; with no browser it says why.
TEST(Page2Menu, OpenBrowserStartsTheDefaultBrowserOnTheCapturesKeyLog)
{
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("record"));
    const QString stand = dir.filePath(QStringLiteral("chromium"));
    QFile script(stand);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n{ for a in \"$@\"; do echo \"$a\"; done; echo \"KEYLOG=$SSLKEYLOGFILE\"; } > '" +
                 QFile::encodeName(record) + ".tmp'\n/bin/mv '" + QFile::encodeName(record) + ".tmp' '" +
                 QFile::encodeName(record) + "'\n");
    script.close();
    QFile::setPermissions(stand, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray savedBrowser = qgetenv("BROWSER");
    qputenv("BROWSER", QFile::encodeName(stand));

    ShellFixture shell;
    shell.settings().write(QStringLiteral("showmessage"), QStringLiteral("false"));
    const QString keyLog = dir.filePath(QStringLiteral("keys.log"));
    shell.engine().setKeyLogFile(keyLog);
    shell.page().menuRail()->press(ShellCommand::OpenBrowser);
    EXPECT_EQ(shell.page().lastCommand(), ShellCommand::OpenBrowser);
    const QDeadlineTimer deadline(10000);
    while (!QFile::exists(record) && !deadline.hasExpired())
        QThread::msleep(20);
    QFile written(record);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()),
              QStringLiteral("--ssl-key-log-file=%1\n--disable-quic\n--disable-features=EncryptedClientHello\n"
                             "KEYLOG=%1\n")
                  .arg(keyLog));

    // Without a tray the window says what happened.
    auto* started = shell.page().findChild<QMessageBox*>(QStringLiteral("BrowserNotice"));
    ASSERT_NE(started, nullptr);
    EXPECT_TRUE(started->text().contains(QLatin1String("it writes its TLS keys to ") + keyLog))
        << started->text().toStdString();
    delete started;

    // No key log (it could not be made): nothing starts, and the window says so.
    QFile::remove(record);
    shell.engine().setKeyLogFile(QString());
    shell.page().menuRail()->press(ShellCommand::OpenBrowser);
    auto* notice = shell.page().findChild<QMessageBox*>(QStringLiteral("BrowserNotice"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->text().contains(QLatin1String("No key log"))) << notice->text().toStdString();
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(record));
    qputenv("BROWSER", savedBrowser);
}

TEST(Page2Placement, StoredPlacementWithinLimitsIsRestored)
{
    const struct
    {
        const char* stored;
        bool restore;
        QRect expected; // empty: the default size
    } cases[] = {
        {"888x700:10;20", true, QRect(10, 20, 888, 700)},
        {"1200x800:10;20", true, QRect(10, 20, 1200, 800)}, // any size the user gave it
        {"888x700:-1;20", true, {}},
        {"888x700:10;-1", true, {}},
        {"888x700:2561;20", true, {}},
        {"888x700:10;1921", true, {}},
        {"2561x700:10;20", true, {}},
        {"888x1921:10;20", true, {}},
        {"NotSet", true, {}},
        {"garbage", true, {}},
        {"888x700:10;20", false, {}},
    };
    for (const auto& row : cases) {
        ShellFixture shell;
        shell.settings().write(QStringLiteral("restoremainwindow"),
                               row.restore ? QStringLiteral("true") : QStringLiteral("false"));
        shell.settings().write(QStringLiteral("window"), QString::fromLatin1(row.stored));
        shell.page().start();
        if (row.expected.isEmpty()) {
            EXPECT_EQ(shell.page().size(), QSize(888, 696)) << row.stored;
        } else {
            // On a screen smaller than the stored place (the test platform's is 800x800) the window
            // opens as much of it as the screen shows.
            const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
            EXPECT_EQ(shell.page().placementRect(), WindowPlacement::fitted(row.expected, available)) << row.stored;
        }
    }
}

TEST(Page2Placement, ExitSavesThePlacementOnlyWhenRestoring)
{
    {
        ShellFixture shell;
        shell.settings().write(QStringLiteral("restoremainwindow"), QStringLiteral("true"));
        shell.page().start();
        shell.page().setGeometry(30, 40, 1000, 640);
        shell.page().prepareExit();
        EXPECT_EQ(shell.settings().read(QStringLiteral("window")), QStringLiteral("1000x640:30;40"));
    }
    {
        ShellFixture shell;
        shell.settings().write(QStringLiteral("restoremainwindow"), QStringLiteral("false"));
        shell.settings().write(QStringLiteral("window"), QStringLiteral("888x700:1;2"));
        shell.page().start();
        shell.page().prepareExit();
        EXPECT_EQ(shell.settings().read(QStringLiteral("window")), QStringLiteral("888x700:1;2"));
    }
}

TEST(Page2Layout, BandTableAndDownloadList)
{
    const ShellLayout alone = ShellLayout::compute(QSize(888, 696), false, false);
    EXPECT_EQ(alone.table, QRect(58, 15, 822, 240));
    EXPECT_EQ(alone.video, QRect(58, 265, 641, 360));
    EXPECT_EQ(alone.playBar.top(), alone.video.bottom() + 6);
    EXPECT_TRUE(alone.monitor.isEmpty());
    const ShellLayout beside = ShellLayout::compute(QSize(888, 696), true, true);
    EXPECT_EQ(beside.table.width() + 8 + beside.downloads.width(), 822);
    EXPECT_FALSE(beside.monitor.isEmpty());
    EXPECT_FALSE(beside.table.intersects(beside.downloads));

    ShellFixture shell;
    EXPECT_LT(shell.page().minimumWidth(), 888);
    EXPECT_GE(shell.page().maximumWidth(), 4096);
    shell.page().setDownloadListShown(true);
    const int besideWidth = shell.page().table()->width();
    EXPECT_LT(besideWidth, 420);
    EXPECT_TRUE(shell.page().downloadList()->isVisibleTo(&shell.page()));
    shell.page().setDownloadListShown(false);
    EXPECT_EQ(shell.page().table()->width(), shell.page().width() - 66);
}

TEST(Page2Downloads, RowsFollowTheCoreAndCancelMarksTheRecord)
{
    ShellFixture shell;
    VideoFile record;
    record.state = VideoFile::State::New;
    record.baseName = QStringLiteral("1700000009");
    record.url = QStringLiteral("http://127.0.0.1/v.mp4");
    record.totalBytes = 5000;
    const qsizetype index = shell.engine().videoFiles().append(record);
    DownloadListWidget* list = shell.page().downloadList();

    // A worker thread inserts the row and reports progress; the widget changes only once the
    // interface thread runs its queue.
    std::thread worker([&] {
        shell.engine().downloadRows().insert(index, QStringLiteral("v.mp4"), record.baseName);
        shell.engine().downloadRows().setProgress(index, QStringLiteral("40%"),
                                                  shell.engine().downloadRows().nextProgressOrder());
        shell.engine().downloadRows().setCaption(QStringLiteral("40%..Downloading"));
    });
    worker.join();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(DownloadListWidget::ProgressColumn), QStringLiteral("40%"));
    EXPECT_EQ(list->topLevelItem(0)->text(DownloadListWidget::IdColumn), record.baseName);
    EXPECT_TRUE(shell.page().downloadListShown());
    EXPECT_TRUE(shell.page().downloadList()->isVisibleTo(&shell.page()));
    EXPECT_EQ(shell.page().windowTitle(), QStringLiteral("40%..Downloading"));

    // A click on the row offers "Cancel/Stop downloading"; choosing it cancels the record.
    shell.page().show();
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            offered << action->text();
        menu->setActiveAction(menu->actions().constFirst());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(offered, QStringList{QStringLiteral("Cancel/Stop downloading")});
    QCoreApplication::processEvents();

    const VideoFile stored = *shell.engine().videoFiles().at(index);
    EXPECT_EQ(stored.state, VideoFile::State::Canceled);
    EXPECT_EQ(stored.totalBytes, 0);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_FALSE(shell.page().downloadListShown());
    EXPECT_EQ(shell.page().table()->width(), shell.page().width() - 66);
    EXPECT_EQ(shell.page().windowTitle(), QStringLiteral("Trawlix"));
}

TEST(Page2Export, CheckedRowsCopyUnderCleanTitlesWithoutOverwriting)
{
    ShellFixture shell;
    shell.settle(); // the start's scan would empty the table while the copies are waited for
    QTemporaryDir target;
    shell.addRow(QStringLiteral("Clip: one?"), QStringLiteral("1700000001"));
    shell.addRow(QStringLiteral("Clip one"), QStringLiteral("1700000002"));
    shell.addRow(QStringLiteral("Not checked"), QStringLiteral("1700000003"));
    check(shell.model(), 1);
    check(shell.model(), 2);
    QSignalSpy exported(&shell.page().libraryActions(), &LibraryActions::exported);
    shell.page().libraryActions().exportMediaTo(target.path());
    ASSERT_TRUE(exported.wait(10000));
    QStringList names = QDir(target.path()).entryList(QDir::Files);
    names.sort();
    EXPECT_EQ(names, QStringList({QStringLiteral("Clip one (2).mp4"), QStringLiteral("Clip one.mp4")}));

    // One checked row: the selected row goes, not the checked one.
    QTemporaryDir single;
    shell.model().setAllChecked(false);
    check(shell.model(), 2);
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
    shell.page().libraryActions().exportMediaTo(single.path());
    ASSERT_TRUE(exported.wait(10000));
    EXPECT_EQ(QDir(single.path()).entryList(QDir::Files), QStringList{QStringLiteral("Not checked.mp4")});
    QTRY_COMPARE(shell.page().windowTitle(), QStringLiteral("Trawlix"));

    // Each export said where it saved: the folder of several copies, the one copy itself.
    EXPECT_EQ(shell.saved, QStringList({target.path(), single.filePath(QStringLiteral("Not checked.mp4"))}));

    // A cancelled folder choice copies nothing; a chosen folder takes the copy.
    shell.exportFolder.clear();
    shell.page().dispatch(ShellCommand::Export);
    QCoreApplication::processEvents();
    EXPECT_EQ(exported.size(), 2);
    QTemporaryDir chosen;
    shell.exportFolder = chosen.path();
    shell.page().dispatch(ShellCommand::Export);
    ASSERT_TRUE(exported.wait(10000));
    EXPECT_EQ(QDir(chosen.path()).entryList(QDir::Files), QStringList{QStringLiteral("Not checked.mp4")});
}

TEST(Page2Rename, BlankTitlesAreRefused)
{
    ShellFixture shell;
    const QString path = shell.addRow(QStringLiteral("Before"), QStringLiteral("1700000001"));
    for (const char* blank : {"", "   "}) {
        shell.page().libraryActions().finishRename(path, QString::fromLatin1(blank));
        EXPECT_EQ(shell.model().rowAt(0).title, QStringLiteral("Before"));
    }
    shell.page().libraryActions().finishRename(path, QStringLiteral("After it"));
    EXPECT_EQ(shell.model().rowAt(0).title, QStringLiteral("After it"));
    EXPECT_EQ(titleTag(path), QStringLiteral("After it"));

    // F2 opens an editor on the selected row; Return commits it.
    shell.page().show();
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
    QTest::keyClick(shell.page().table(), Qt::Key_F2);
    auto* editor = shell.page().table()->viewport()->findChild<QLineEdit*>(QStringLiteral("renameEditor"));
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Typed"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(titleTag(path), QStringLiteral("Typed"));
}

TEST(Page2Table, ChecksSortingAndContextMenu)
{
    ShellFixture shell;
    shell.addRow(QStringLiteral("b"), QStringLiteral("1700000002"), QStringLiteral("http://127.0.0.1/page"));
    shell.addRow(QStringLiteral("A"), QStringLiteral("1700000001"));
    shell.addRow(QStringLiteral("c"), QStringLiteral("1700000003"));

    shell.page().filters()->checkAllBox()->click();
    EXPECT_EQ(shell.page().checkedRows(), QList<int>({0, 1, 2}));
    shell.page().filters()->checkAllBox()->click();
    EXPECT_TRUE(shell.page().checkedRows().isEmpty());
    check(shell.model(), 1);
    shell.page().libraryActions().invertChecks();
    EXPECT_EQ(shell.page().checkedRows(), QList<int>({0, 2}));

    // Header: a new column sorts ascending, the same column again reverses.
    shell.page().libraryActions().sortByHeader(0);
    EXPECT_EQ(shell.model().rowAt(0).title, QStringLiteral("A"));
    EXPECT_EQ(shell.page().table()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    shell.page().libraryActions().sortByHeader(0);
    EXPECT_EQ(shell.model().rowAt(0).title, QStringLiteral("c"));
    shell.page().libraryActions().sortByHeader(1);
    EXPECT_EQ(shell.page().table()->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    const QList<int> always = {102, 103, 101, 500, 501, 502, 503, 504, 700, 701, 702};
    std::unique_ptr<QMenu> empty(shell.page().libraryActions().buildContextMenu(-1));
    EXPECT_EQ(actionIds(empty.get()), always);
    const int withPage =
        shell.model().rowOfPath(AppPaths::folder(AppPaths::Folder::Videos) + QStringLiteral("1700000002.mp4"));
    std::unique_ptr<QMenu> onRow(shell.page().libraryActions().buildContextMenu(withPage));
    EXPECT_EQ(actionIds(onRow.get()), QList<int>({1, 600, 2, 3, 601, 605, 9, 8, 200}) + always);
    const int withoutPage = withPage == 0 ? 1 : 0;
    std::unique_ptr<QMenu> plain(shell.page().libraryActions().buildContextMenu(withoutPage));
    EXPECT_EQ(actionIds(plain.get()), QList<int>({1, 600, 2, 3, 601, 605, 9, 8}) + always);
}

TEST(Page2Table, ViewTogglesAndIsStored)
{
    ShellFixture shell;
    EXPECT_FALSE(shell.page().iconView());
    shell.page().dispatch(ShellCommand::View);
    EXPECT_TRUE(shell.page().iconView());
    EXPECT_EQ(shell.settings().read(QStringLiteral("tableview")), QStringLiteral("icon"));
    shell.page().dispatch(ShellCommand::View);
    EXPECT_FALSE(shell.page().iconView());
    EXPECT_EQ(shell.settings().read(QStringLiteral("tableview")), QStringLiteral("report"));
}

TEST(Page2Tray, NoticesFollowShowMessageAndTheMenuNamesTheToggle)
{
    ShellFixture shell;
    for (const char* stored : {"false", "", "yes"}) {
        shell.settings().write(QStringLiteral("showmessage"), QString::fromLatin1(stored));
        EXPECT_FALSE(shell.page().tray()->showNotice(QStringLiteral("Imported"))) << stored;
    }
    shell.settings().write(QStringLiteral("showmessage"), QStringLiteral("True"));
    EXPECT_TRUE(shell.page().tray()->showNotice(QStringLiteral("Imported")));

    EXPECT_EQ(shell.page().tray()->toggleText(), QStringLiteral("Show Trawlix"));
    shell.page().show();
    EXPECT_EQ(shell.page().tray()->toggleText(), QStringLiteral("Hide to tray"));
    shell.page().toggleVisible();
    EXPECT_FALSE(shell.page().isVisible());
    shell.page().toggleVisible();
    EXPECT_TRUE(shell.page().isVisible());

    // A single click on the icon hides and restores the window; the double click that follows
    // a click does not undo it.
    QSystemTrayIcon* icon = shell.page().tray()->icon();
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(shell.page().isVisible());
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(shell.page().isVisible());
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(shell.page().isVisible());

    // Closing the window runs the exit sequence.
    shell.page().close();
    EXPECT_EQ(shell.exits, 1);
}

} // namespace

namespace {

TEST(Page2Import, DroppedAndChosenFilesEnterTheLibraryAndRescan)
{
    ShellFixture shell;
    QTemporaryDir outside;
    const QString song = outside.filePath(QStringLiteral("Song.MP3"));
    const QString note = outside.filePath(QStringLiteral("notes.txt"));
    for (const QString& path : {song, note}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not really media");
    }
    const QDir videos(AppPaths::folder(AppPaths::Folder::Videos));
    QSignalSpy rescans(&shell.page(), &Page2::rescanRequested);

    emit shell.page().filesDropped({note});
    EXPECT_TRUE(videos.entryList(QDir::Files).isEmpty());
    EXPECT_EQ(rescans.size(), 0);

    emit shell.page().filesDropped({song, note});
    ASSERT_EQ(videos.entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(videos.entryList(QDir::Files).constFirst().endsWith(QStringLiteral(".mp3")));
    EXPECT_EQ(rescans.size(), 1);

    // "Import": the chosen files are copied on a worker; the rescan follows.
    shell.importFiles = {note};
    shell.page().dispatch(ShellCommand::Import);
    EXPECT_TRUE(rescans.wait(10000));
    EXPECT_EQ(videos.entryList(QDir::Files).size(), 2);
    shell.importFiles.clear();
    shell.page().dispatch(ShellCommand::Import);
    EXPECT_EQ(videos.entryList(QDir::Files).size(), 2);
}

} // namespace

namespace {

TEST(Page2Import, ClosingTheWindowDuringAnImportLosesNothing)
{
    ShellFixture shell;
    QTemporaryDir outside;
    // Large enough that the copies are still running when the window goes.
    const QByteArray block(4 << 20, 'm');
    QStringList songs;
    for (int i = 0; i < 6; ++i) {
        songs << outside.filePath(QStringLiteral("song%1.mp3").arg(i));
        QFile file(songs.constLast());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(block);
    }
    shell.importFiles = songs;
    shell.page().dispatch(ShellCommand::Import);
    shell.destroyPage();

    shell.engine().waitForJobs();
    QCoreApplication::processEvents(); // the job's queued calls find no window
    const QFileInfoList copies =
        QDir(AppPaths::folder(AppPaths::Folder::Videos)).entryInfoList(QDir::Files, QDir::Name);
    ASSERT_EQ(copies.size(), songs.size());
    for (const QFileInfo& copy : copies)
        EXPECT_EQ(copy.size(), block.size()) << copy.fileName().toStdString();
}

TEST(Page2Import, TheWindowScansThroughTheEnginesScheduler)
{
    ShellFixture shell;
    shell.engine().scans().waitForIdle();
    QSignalSpy scans(&shell.engine().scans(), &ScanScheduler::scanFinished);
    shell.page().filters()->titleEdit()->setText(QStringLiteral("nothing matches this"));
    ASSERT_TRUE(scans.wait(10000));
    // The window has no scheduler of its own.
    EXPECT_TRUE(shell.page().findChildren<ScanScheduler*>().isEmpty());
}

} // namespace
