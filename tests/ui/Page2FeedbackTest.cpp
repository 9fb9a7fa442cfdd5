// What the main window tells its user: where an export was saved (and a file manager to open it
// only when the desktop has one), what the capture is doing, that a filter matched nothing, and
// where its dialogs start.
#include "ShellFixture.h"
#include "UserFolders.h"

#include "base/AppPaths.h"
#include "capture/CaptureHelper.h"
#include "support/BuiltProgram.h"
#include "support/PageVisitCapture.h"
#include "support/XdgOpenStub.h"
#include "tools/FolderOpener.h"
#include "ui/controls/SavedMessage.h"
#include "ui/mainwindow/CaptureStatusText.h"
#include "ui/mainwindow/DialogPrompts.h"
#include "ui/mainwindow/FilterPanel.h"
#include "ui/mainwindow/MediaViews.h"
#include "ui/mainwindow/ShellTray.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The desktop's tools as the notice meets them: xdg-mime answering a fixed text for folders,
// desktop entries in $XDG_DATA_HOME/applications, and an xdg-open that only writes down what
// it was asked to open. For the life of the object; the environment is put back afterwards.
class DesktopTools final
{
public:
    explicit DesktopTools(const QByteArray& folderHandler)
        : m_savedPath(qgetenv("PATH"))
        , m_savedDataHome(qgetenv("XDG_DATA_HOME"))
    {
        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QString::fromLocal8Bit(m_savedPath));
        XdgOpenStub::install(bin, environment);
        QFile mime(bin + QStringLiteral("/xdg-mime"));
        mime.open(QIODevice::WriteOnly);
        mime.write("#!/bin/sh\nprintf '%s\\n' '" + folderHandler + "'\n");
        mime.close();
        mime.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("PATH", environment.value(QStringLiteral("PATH")).toLocal8Bit());
        QDir().mkpath(m_dir.filePath(QStringLiteral("share/applications")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("share"))));
    }
    ~DesktopTools()
    {
        qputenv("PATH", m_savedPath);
        qputenv("XDG_DATA_HOME", m_savedDataHome);
    }
    DesktopTools(const DesktopTools&) = delete;
    DesktopTools& operator=(const DesktopTools&) = delete;

    void addEntry(const QString& name, const QByteArray& categories)
    {
        QFile entry(m_dir.filePath(QStringLiteral("share/applications/") + name));
        entry.open(QIODevice::WriteOnly);
        entry.write("[Desktop Entry]\nType=Application\nName=X\nExec=x %U\nCategories=" + categories + "\n");
    }
    // What xdg-open was asked to open, one line each.
    QString opened() const
    {
        QFile log(m_dir.filePath(QStringLiteral("bin/xdg-open.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_savedPath;
    QByteArray m_savedDataHome;
};

QMessageBox* savedNotice(Page2& page)
{
    return page.findChild<QMessageBox*>(QStringLiteral("SavedNotice"));
}

TEST(Page2Feedback, ExportCopiesOffTheWindowAndSaysWhereItSaved)
{
    DesktopTools desktop("fm.desktop");
    desktop.addEntry(QStringLiteral("fm.desktop"), "System;FileManager;");
    ShellFixture shell;
    shell.settle();
    const QString source = shell.addRow(QStringLiteral("Big clip"), QStringLiteral("1700000001"));
    {
        // Large enough that a copy made on the window's thread would hold it for a while.
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, 'v');
        for (int i = 0; i < 48; ++i)
            file.write(block);
    }
    shell.page().selectRow(0);
    QTemporaryDir target;
    const QString copy = target.filePath(QStringLiteral("Big clip.mp4"));
    QSignalSpy captions(&shell.page(), &QWidget::windowTitleChanged);
    QSignalSpy exported(&shell.page().libraryActions(), &LibraryActions::exported);

    shell.page().libraryActions().exportMediaTo(target.path());
    // The call returns before the copy is there: a copy appears whole or not at all.
    EXPECT_FALSE(QFileInfo::exists(copy));
    ASSERT_TRUE(exported.wait(30000));
    EXPECT_EQ(QFileInfo(copy).size(), 48 << 20);
    bool progress = false;
    for (const QList<QVariant>& caption : captions)
        progress = progress || caption.at(0).toString().endsWith(QStringLiteral("%..Processing "));
    EXPECT_TRUE(progress) << "the caption showed no progress";
    QTRY_COMPARE(shell.page().windowTitle(), QStringLiteral("Trawlix"));

    QMessageBox* notice = savedNotice(shell.page());
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), QStringLiteral("Saved to ") + copy);
    auto* open = notice->findChild<QPushButton*>(QStringLiteral("openFolder"));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->text(), QStringLiteral("Open folder"));
    open->click();
    QTRY_COMPARE(desktop.opened(), QDir(target.path()).absolutePath() + QLatin1Char('\n'));
}

// A folder must never reach a web browser: without a file manager the notice only shows the path.
TEST(Page2Feedback, WithoutAFileManagerTheNoticeShowsThePathOnly)
{
    const struct
    {
        QByteArray answer;
        const char* entry; // a desktop entry written for the answer, with these categories
        QByteArray categories;
    } cases[] = {
        {"firefox-esr.desktop", "firefox-esr.desktop", "Network;WebBrowser;"},
        {"", nullptr, ""},
        {"ghost.desktop", nullptr, ""},                            // named, but installed nowhere
        {"../../../tmp/fm.desktop", "fm.desktop", "FileManager;"}, // not a plain entry name
        {"fm.desktop extra words", "fm.desktop", "FileManager;"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.answer.constData());
        DesktopTools desktop(row.answer);
        if (row.entry)
            desktop.addEntry(QString::fromLatin1(row.entry), row.categories);
        EXPECT_FALSE(FolderOpener::folderHandler().opensFolders());
        QWidget parent;
        std::unique_ptr<QMessageBox> notice(showSavedNotice(&parent, QStringLiteral("/videos/<b>clip</b>.mp4")));
        EXPECT_EQ(notice->findChild<QPushButton*>(QStringLiteral("openFolder")), nullptr);
        EXPECT_FALSE(notice->informativeText().isEmpty());
        // Shown as written, never as markup.
        EXPECT_EQ(notice->textFormat(), Qt::PlainText);
    }
    DesktopTools desktop("fm.desktop");
    desktop.addEntry(QStringLiteral("fm.desktop"), "System;FileManager;");
    EXPECT_EQ(FolderOpener::folderHandler().desktopId, QStringLiteral("fm.desktop"));
    EXPECT_TRUE(FolderOpener::folderHandler().opensFolders());
}

TEST(Page2Status, TheStatusLineSaysWhatTheCaptureDoes)
{
    ShellFixture shell;
    QLabel* line = shell.page().statusLine();
    EXPECT_EQ(line->text(), QStringLiteral("Capture is off"));

    // A capture file: read, counted, ended; without a key log HTTPS is not read.
    QTemporaryDir folder;
    shell.engine().setKeyLogFile(QString());
    shell.engine().startCapture({PageVisitCapture::write(folder.path() + QStringLiteral("/visit.pcap")), {}});
    const QString ended = QStringLiteral("Capture ended \u00b7 3 requests \u00b7 2 candidates \u00b7 "
                                         "HTTPS not read: no key log");
    QTRY_COMPARE_WITH_TIMEOUT(line->toolTip(), ended, 10000);
    EXPECT_EQ(line->text(), ended);

    // No adapter of that name can be opened.
    CaptureHelper::setProgram(QStringLiteral(TRAWLIX_CAPTURE_HELPER));
    shell.engine().setKeyLogFile(folder.filePath(QStringLiteral("keys.log")));
    shell.engine().startCapture({{}, QStringLiteral("trawlix-none0")});
    QTRY_VERIFY_WITH_TIMEOUT(line->toolTip().startsWith(QStringLiteral("No permission to capture")), 20000);
    EXPECT_FALSE(line->toolTip().contains(QStringLiteral("HTTPS")));
    shell.engine().stopCapture();
}

TEST(Page2Status, EveryStateInWords)
{
    using State = Engine::CaptureState;
    Engine::CaptureStatus status;
    status.adapter = QStringLiteral("eth0");
    status.requests = 12;
    status.candidates = 1;
    status.keyLog = true;
    const struct
    {
        State state;
        const char* first;
    } rows[] = {
        {State::Opening, "Opening the network adapters..."},
        {State::Watching, "Watching eth0"},
        {State::Paused, "Monitoring paused"},
        {State::NoPermission, "No permission to capture: see the first-start notice"},
        {State::NoAdapters, "No network adapters to capture"},
        {State::Ended, "Capture ended"},
    };
    for (const auto& row : rows) {
        status.state = row.state;
        EXPECT_EQ(CaptureStatusText::format(status),
                  QString::fromUtf8(row.first) + QStringLiteral(" \u00b7 12 requests \u00b7 1 candidates"));
    }
    status.state = State::Watching;
    status.keysMissing = true;
    EXPECT_TRUE(CaptureStatusText::format(status).endsWith(
        QStringLiteral("HTTPS without keys: open the browser through Trawlix")));
    status.adapter.clear();
    EXPECT_TRUE(CaptureStatusText::format(status).startsWith(QStringLiteral("Watching every adapter \u00b7")));
    // A file name from the command line is shown by its name, and a long one shortened.
    status.state = State::Reading;
    status.adapter = QStringLiteral("/captures/") + QString(500, QLatin1Char('x')) + QStringLiteral(".pcap");
    const QString reading = CaptureStatusText::format(status).section(QStringLiteral(" \u00b7 "), 0, 0);
    EXPECT_EQ(reading.size(), QStringLiteral("Reading ").size() + CaptureStatusText::MaxNameLength);
    EXPECT_FALSE(reading.contains(QLatin1Char('/')));
    status.state = State::Off;
    EXPECT_EQ(CaptureStatusText::format(status), QStringLiteral("Capture is off"));
}

TEST(Page2Status, TheTrayPausesAndResumesMonitoring)
{
    ShellFixture shell;
    QAction* entry = shell.page().tray()->monitoringAction();
    EXPECT_EQ(entry->text(), QStringLiteral("Pause monitoring"));
    EXPECT_TRUE(shell.page().tray()->menu()->actions().contains(entry));
    entry->trigger();
    EXPECT_FALSE(shell.page().monitoring());
    EXPECT_FALSE(shell.engine().monitoring());
    EXPECT_EQ(entry->text(), QStringLiteral("Resume monitoring"));

    // While a live capture runs the status line says it is paused.
    QString why;
    if (BuiltProgram::canCaptureOnLoopback(&why)) {
        CaptureHelper::setProgram(QStringLiteral(TRAWLIX_CAPTURE_HELPER));
        shell.engine().startCapture({{}, QStringLiteral("lo")});
        QTRY_VERIFY_WITH_TIMEOUT(shell.page().statusLine()->toolTip().startsWith(QStringLiteral("Monitoring paused")),
                                 10000);
        entry->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(shell.page().statusLine()->toolTip().startsWith(QStringLiteral("Watching lo")) ||
                                     shell.page().statusLine()->toolTip().startsWith(QStringLiteral("Opening")),
                                 10000);
        shell.engine().stopCapture();
    } else {
        entry->trigger();
    }
    EXPECT_TRUE(shell.page().monitoring());
    EXPECT_EQ(entry->text(), QStringLiteral("Pause monitoring"));
}

TEST(Page2Feedback, AnEmptyFilterResultSaysSo)
{
    ShellFixture shell;
    shell.settle();
    shell.page().show();
    QLabel* note = shell.page().emptyFilterNote();
    // An empty library with no filter is simply empty.
    shell.page().filters()->timeButton(0)->click();
    shell.settle();
    EXPECT_FALSE(note->isVisible());

    // A title nobody has: the scan finds nothing, and the note says so over the table.
    const QString path = shell.addRow(QStringLiteral("Holiday"), QStringLiteral("1700000001"));
    Q_UNUSED(path);
    shell.page().filters()->titleEdit()->setText(QStringLiteral("no such title"));
    QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), 10000);
    EXPECT_EQ(note->text(), QStringLiteral("No media files match"));
    EXPECT_TRUE(shell.page().table()->geometry().contains(note->geometry()));
    shell.page().filters()->titleEdit()->clear();
    QTRY_VERIFY_WITH_TIMEOUT(!note->isVisible(), 10000);
}

// The open and folder dialogs start in the user's folders, not in the data folder.
TEST(Page2Feedback, DialogsStartInTheUsersFolders)
{
    const UserFolders folders;
    ShellFixture shell;
    const auto answer = [](QString* seen) {
        QTimer::singleShot(0, [seen] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            *seen = dialog->directory().absolutePath();
            dialog->reject();
        });
    };
    // The window's own choosers, as a user's F5 and "Import" open them.
    QWidget window;
    DialogPrompts prompts(&window);
    QString exportStart;
    answer(&exportStart);
    EXPECT_TRUE(prompts.chooseExportFolder().isEmpty());
    EXPECT_EQ(exportStart, folders.documents());
    QString importStart;
    answer(&importStart);
    EXPECT_TRUE(prompts.chooseImportFiles().isEmpty());
    EXPECT_EQ(importStart, folders.videos());
    EXPECT_NE(importStart, QDir(AppPaths::dataDir()).absolutePath());
}

} // namespace
