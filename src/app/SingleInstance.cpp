#include "app/SingleInstance.h"

#include "base/Trace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kLibraryChanged = QByteArrayLiteral("library\n");
// Requests are a word and a line break; a peer that sends more is cut off.
constexpr qint64 kMaxRequest = 64;

bool send(const QString& name, const QByteArray& request)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write(request);
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return true;
}

} // namespace

SingleInstance::SingleInstance(const QString& dataDir, QObject* parent)
    : QObject(parent)
    , m_dataDir(QDir::cleanPath(QDir(dataDir).absolutePath()))
{}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::socketName(const QString& dataDir)
{
    const QByteArray folder = QDir::cleanPath(QDir(dataDir).absolutePath()).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("trawlix-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

bool SingleInstance::claim(Later later)
{
    const QByteArray lockPath = QFile::encodeName(m_dataDir + QStringLiteral("/.trawlix.lock"));
    // Close-on-exec, or every tool we start would keep the lock after we are gone.
    m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const bool first = m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0;
    const QString name = socketName(m_dataDir);
    if (first) {
        // The lock is ours, so a socket left by an instance that crashed is stale.
        QLocalServer::removeServer(name);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
        if (!m_server->listen(name))
            trace(QStringLiteral("SingleInstance: cannot listen: ") + m_server->errorString());
        else
            trace(QStringLiteral("SingleInstance: listening"));
        return true;
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    if (later == Later::StayQuiet)
        return false;
    // The first instance may still be in its own start-up and not listen yet: then there is
    // no window to bring forward, and this start just ends.
    if (send(name, kShowRequest)) {
        trace(QStringLiteral("SingleInstance: asked the running instance to show itself"));
    } else {
        trace(QStringLiteral("SingleInstance: running instance not reachable"));
    }
    return false;
}

void SingleInstance::announceLibraryChange(const QString& dataDir)
{
    if (send(socketName(dataDir), kLibraryChanged))
        trace(QStringLiteral("SingleInstance: told the running instance that the library changed"));
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->setReadBufferSize(kMaxRequest);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray request = socket->read(kMaxRequest);
            if (request.contains(kShowRequest.trimmed())) {
                trace(QStringLiteral("SingleInstance: show request received"));
                emit showRequested();
            } else if (request.contains(kLibraryChanged.trimmed())) {
                trace(QStringLiteral("SingleInstance: library change received"));
                emit libraryChanged();
            }
            if (socket->bytesAvailable() > 0)
                socket->abort();
        });
    }
}
