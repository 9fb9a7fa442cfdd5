#include "ui/mainwindow/ShellTray.h"

#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

ShellTray::ShellTray(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_icon(new QSystemTrayIcon(this))
    , m_menu(new QMenu)
    , m_toggle(m_menu->addAction(QString()))
    , m_monitoring(m_menu->addAction(tx(u"Pause monitoring")))
    , m_exit(m_menu->addAction(tx(u"Exit")))
{
    m_icon->setIcon(window->windowIcon());
    m_icon->setToolTip(Texts::displayName().left(MaxTipLength));
    m_icon->setContextMenu(m_menu);
    // The first item names what it will do, so it is written when the menu opens.
    connect(m_menu, &QMenu::aboutToShow, this, [this] { m_toggle->setText(toggleText()); });
    connect(m_toggle, &QAction::triggered, this, &ShellTray::toggleRequested);
    m_monitoring->setObjectName(QStringLiteral("trayMonitoring"));
    connect(m_monitoring, &QAction::triggered, this, &ShellTray::monitoringToggleRequested);
    connect(m_exit, &QAction::triggered, this, &ShellTray::exitRequested);
    // A single click shows a hidden window (and hides a shown one). A double click begins with
    // that same click, so it must not toggle a second time.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit toggleRequested();
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &ShellTray::showRequested);
    m_toggle->setText(toggleText());
}

ShellTray::~ShellTray()
{
    delete m_menu;
}

void ShellTray::add()
{
    m_icon->setIcon(m_window->windowIcon());
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_icon->show();
        trace(QStringLiteral("Tray: icon shown"));
    } else {
        trace(QStringLiteral("Tray: no system tray"));
    }
}

void ShellTray::remove()
{
    m_icon->hide();
}

bool ShellTray::isShown() const
{
    return m_icon->isVisible();
}

bool ShellTray::showNotice(const QString& text)
{
    if (!Settings::instance().showMessage())
        return false;
    m_icon->showMessage(Texts::displayName().left(MaxNoticeTitleLength), text.left(MaxNoticeTextLength),
                        QSystemTrayIcon::Information, NoticeTimeoutMs);
    return true;
}

void ShellTray::setMonitoring(bool on)
{
    m_monitoring->setText(on ? tx(u"Pause monitoring") : tx(u"Resume monitoring"));
}

QString ShellTray::toggleText() const
{
    if (m_window->isVisible() && !m_window->isMinimized())
        return tx(u"Hide to tray");
    // "Show" keeps its trailing space in Russian; the English form needs one before the name.
    QString show = tx(u"Show");
    if (!show.endsWith(QLatin1Char(' ')))
        show += QLatin1Char(' ');
    return show + Texts::displayName();
}
