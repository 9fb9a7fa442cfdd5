#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// The notification-area icon: a click hides or shows the main window, its menu holds
// "Hide to tray"/"Show Trawlix", "Pause monitoring"/"Resume monitoring" and "Exit", and it shows short notices when the
// setting "showmessage" allows. Without a tray host (a bare X server) the icon is simply not shown.
class ShellTray final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShellTray)

public:
    static constexpr int NoticeTimeoutMs = 1000;
    static constexpr int MaxTipLength = 128;
    static constexpr int MaxNoticeTitleLength = 64;
    static constexpr int MaxNoticeTextLength = 256;

    explicit ShellTray(QWidget* window);
    ~ShellTray() override;

    // Shows the icon when the desktop has a tray.
    void add();
    void remove();
    bool isShown() const;

    // The notice, when "showmessage" is "true" in any letter case; returns whether it was shown.
    bool showNotice(const QString& text);

    // The text the first menu item shows for the window's current state.
    QString toggleText() const;
    // The monitoring entry names what it will do.
    void setMonitoring(bool on);
    QAction* monitoringAction() const { return m_monitoring; }
    QMenu* menu() const { return m_menu; }
    QSystemTrayIcon* icon() const { return m_icon; }

signals:
    void toggleRequested();
    void showRequested();
    void monitoringToggleRequested();
    void exitRequested();

private:
    QWidget* m_window;
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
    QAction* m_toggle;
    QAction* m_monitoring;
    QAction* m_exit;
};
