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
    , m_exit(m_menu->addAction(tx(u"Exit")))
{
    m_icon->setIcon(window->windowIcon());
    m_icon->setToolTip(Texts::displayName().left(MaxTipLength));
    m_icon->setContextMenu(m_menu);
    // The first item names what it will do, so it is written when the menu opens.
    connect(m_menu, &QMenu::aboutToShow, this, [this] { m_toggle->setText(toggleText()); });
    connect(m_toggle, &QAction::triggered, this, &ShellTray::toggleRequested);
    connect(m_exit, &QAction::triggered, this, &ShellTray::exitRequested);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
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
