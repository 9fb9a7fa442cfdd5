#include "support/VirtualDisplay.h"

#include "support/TestProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

namespace {

bool taken(int number)
{
    return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
           QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number));
}

} // namespace

VirtualDisplay::~VirtualDisplay()
{
    TestProcess::end(m_manager, 5000);
    TestProcess::end(m_server, 5000);
}

bool VirtualDisplay::start(QSize size, Manager manager)
{
    // Tests run side by side: each starts its search at a place of its own, and a number another
    // test took between the look and the start makes the server quit, so the next one is tried.
    const QString screen = QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height());
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    for (int number = 100 + int(QCoreApplication::applicationPid() % 400); number < 1000; ++number) {
        if (taken(number))
            continue;
        m_number = number;
        m_server.start(QStringLiteral("Xvfb"), {name(), QStringLiteral("-screen"), QStringLiteral("0"), screen,
                                                QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server.waitForStarted(10000)) {
            m_why = QStringLiteral("Xvfb does not start: ") + m_server.errorString();
            return false;
        }
        const QDeadlineTimer up(10000);
        while (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
               m_server.state() == QProcess::Running && !up.hasExpired())
            QThread::msleep(50);
        if (m_server.state() == QProcess::Running && !up.hasExpired())
            break;
        m_why = QString::fromLocal8Bit(m_server.readAll());
        TestProcess::end(m_server, 2000);
        m_number = -1;
    }
    if (m_number < 0)
        return false;
    if (manager == Manager::Openbox) {
        QProcessEnvironment managerEnvironment = environment();
        managerEnvironment.insert(QStringLiteral("HOME"), m_managerHome.path());
        m_manager.setProcessEnvironment(managerEnvironment);
        m_manager.setProcessChannelMode(QProcess::MergedChannels);
        m_manager.start(QStringLiteral("openbox"), {});
        if (!m_manager.waitForStarted(10000)) {
            m_why = QStringLiteral("openbox does not start: ") + m_manager.errorString();
            return false;
        }
        QThread::msleep(500); // the manager takes the screen before a window maps
    }
    return true;
}

QProcessEnvironment VirtualDisplay::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), name());
    return environment;
}
