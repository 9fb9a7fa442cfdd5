// The main window.
#pragma once

#include "ui/controls/ShellCommand.h"
#include "ui/mainwindow/ShellLayout.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class DialogPrompts;
class DownloadListWidget;
class Engine;
class FilterPanel;
class LibraryActions;
class MediaIconView;
class MediaSelection;
class MediaTableModel;
class MediaTableView;
class MenuRail;
class TrafficMonitor;
class PlayerBar;
class Player;
class Page4;
class PlayerController;
class Prompts;
class QAbstractItemView;
class QLabel;
class QLineEdit;
class QMenu;
class ThumbnailStrip;
class ShellTray;
class CommandRouter;

// The main window: the media table and the download list in the band at the top, the video
// area with its control bar, the filters and the thumbnail column below, and the menu rail
// on the left. It builds and lays out the controls and keeps the window's own state; the
// controls' commands go through CommandRouter, the commands on library files live in
// LibraryActions and the player's in PlayerController. The library work itself is the engine's.
class Page2 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page2)

public:
    // The window's questions and messages go to prompts (which must outlive the window); without
    // them, to its own dialogs.
    explicit Page2(Engine& engine, Prompts* prompts = nullptr, QWidget* parent = nullptr);
    ~Page2() override;

    // The start-up sequence: painted controls, tray, default filter, settings, placement, view mode.
    // Does not show the window.
    void start();

    // A command of one of the controls, as if the control had triggered it.
    void dispatch(ShellCommand command);
    std::optional<ShellCommand> lastCommand() const;

    // Rows the user acts on: the selection mark, and the checked rows.
    int selectedRow() const;
    QList<int> checkedRows() const;
    QString pathOfRow(int row) const;
    void selectRow(int row);

    LibraryActions& libraryActions() { return *m_libraryActions; }
    PlayerController& playerController() { return *m_playerController; }

    // The view mode (report or icons), stored in the settings.
    void toggleView();
    bool iconView() const;
    bool dragAndDrop() const { return m_dragAndDrop; }

    // The download list beside the table.
    void setDownloadListShown(bool shown);
    bool downloadListShown() const { return m_downloadsShown; }
    void cancelDownload(int listRow);

    // Traffic monitoring switch (the monitor's on/off).
    bool monitoring() const { return m_monitoring; }
    void setMonitoring(bool on);

    // The library shown again with the filters' values.
    void requestRescan();
    void restoreCaption();
    void openSettings();
    // Starts the default browser writing its TLS keys to the key log the capture reads, and
    // says what happened.
    void openBrowserForCapture();
    void openFileInfo();
    void openSoundRecorder();
    void openCutter();
    // The converter for the checked rows and the selected one (one window, kept once opened).
    void openConverter();
    Page4* converter() const;

    // Tray and exit.
    void toggleVisible();
    void showRestored();
    void showNotice(const QString& text);
    // A notice the user must see: in the tray when it is shown and notices are on, else in a
    // window that does not block the program.
    void showImportantNotice(const QString& text, const QString& objectName);
    // The notices of the start (first start, missing capture permission) in one window that
    // does not block the program; nothing when there are none.
    void showStartNotices(const QStringList& notices);
    // The exit sequence up to the point where the process ends; exitProgram() ends it.
    void prepareExit();
    [[noreturn]] void exitProgram();

    // The stored placement applied at start-up; the default size when there is none. The
    // placement is the window's own area (geometry()), without the window manager's frame.
    void applyPlacement();
    QRect placementRect() const;
    // The capture status line, and how often it is read from the engine.
    static constexpr int StatusIntervalMs = 500;
    QLabel* statusLine() const { return m_status; }
    void refreshStatus();
    // "No media files match" over the empty table while a filter narrows it.
    QLabel* emptyFilterNote() const { return m_emptyNote; }

    // For tests.
    MediaTableModel& model() { return m_model; }
    MediaTableView* table() const { return m_table; }
    MediaIconView* icons() const { return m_icons; }
    DownloadListWidget* downloadList() const { return m_downloads; }
    MenuRail* menuRail() const { return m_menu; }
    PlayerBar* playerBar() const { return m_playerBar; }
    ThumbnailStrip* thumbnailStrip() const { return m_strip; }
    TrafficMonitor* trafficMonitor() const { return m_monitor; }
    FilterPanel* filters() const { return m_filters; }
    QWidget* videoArea() const { return m_videoArea; }
    ShellTray* tray() const { return m_tray; }
    Player* player() const { return m_player; }

    // What closing the window does: the exit sequence (tests keep the process alive).
    std::function<void()> exitHandler;

signals:
    // The library should be scanned again with these filters.
    void rescanRequested(const QString& timeFilter, const QString& titleFilter);
    // The open-file import was asked for ("Import").
    void importRequested();
    // Files were dropped on the window (drag and drop on).
    void filesDropped(const QStringList& paths);
    // The monitoring switch changed.
    void monitoringChanged(bool on);
    // A tool page was asked for.
    void toolRequested(ShellCommand command);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void buildVideoArea();
    void buildPaintedControls();
    void buildCollaborators();
    void connectModel();
    void connectEngine();
    void layoutControls();
    ShellLayout::Needs layoutNeeds() const;
    void updateEmptyNote();
    void readFlags();
    void applyTableView(const QString& mode);
    QString defaultTimeFilter() const;
    void topRowTimer();
    bool filterTableEvent(QAbstractItemView* view, QEvent* event);

    Engine& m_engine;
    MediaTableModel& m_model;
    std::unique_ptr<DialogPrompts> m_ownPrompts; // when no prompts were given
    Prompts& m_prompts;
    MediaTableView* m_table = nullptr;
    MediaIconView* m_icons = nullptr;
    DownloadListWidget* m_downloads = nullptr;
    FilterPanel* m_filters = nullptr;
    QWidget* m_videoArea = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_emptyNote = nullptr;
    MenuRail* m_menu = nullptr;
    PlayerBar* m_playerBar = nullptr;
    ThumbnailStrip* m_strip = nullptr;
    TrafficMonitor* m_monitor = nullptr;
    ShellTray* m_tray = nullptr;
    Player* m_player = nullptr;
    std::unique_ptr<MediaSelection> m_selection;
    std::unique_ptr<PlayerController> m_playerController;
    LibraryActions* m_libraryActions = nullptr;
    std::unique_ptr<CommandRouter> m_dispatch;
    QPointer<Page4> m_converter;

    bool m_downloadsShown = false;
    bool m_monitoring = false;
    bool m_dragAndDrop = false;
    bool m_keepAspect = false;
    bool m_restoreWindow = false;
    bool m_amplifier = false;

    QTimer m_topRowTimer; // selects and previews the top row after an insertion or scan
    QTimer m_volumeTimer; // sets the stored volume five seconds after start
    QTimer m_statusTimer; // reads the capture status for the status line
};
