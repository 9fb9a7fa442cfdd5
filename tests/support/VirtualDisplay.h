#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

// An X server of a test's own (Xvfb on a display number nobody uses), with a window manager when
// the test needs windows framed and placed as on a desktop. Both end with the object.
class VirtualDisplay final
{
public:
    enum class Manager
    {
        None,
        Openbox,
    };

    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Starts the server with one 24-bit screen of `size` and waits until it takes clients (and
    // the manager has taken the screen); false when it could not, with the reason in why().
    bool start(QSize size, Manager manager = Manager::None);

    QString name() const { return QStringLiteral(":%1").arg(m_number); } // ":153"
    // The test's environment with DISPLAY naming this server.
    QProcessEnvironment environment() const;
    QString why() const { return m_why; }

private:
    int m_number = -1;
    QProcess m_server;
    QProcess m_manager;
    QTemporaryDir m_managerHome;
    QString m_why;
};
