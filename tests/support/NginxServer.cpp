#include "support/NginxServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

namespace {

const QString NginxBinary = QStringLiteral("/usr/sbin/nginx");

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

NginxServer::NginxServer(QString rootDir, quint16 fixedPort)
    : m_rootDir(std::move(rootDir))
    , m_fixedPort(fixedPort)
{}

NginxServer::~NginxServer()
{
    stop();
}

bool NginxServer::isAvailable() const
{
    return QFileInfo(NginxBinary).isExecutable();
}

void NginxServer::setTls(const QString& certificate, const QString& key, const QString& protocol, bool http2)
{
    m_listenOptions = http2 ? QStringLiteral(" ssl http2") : QStringLiteral(" ssl");
    m_tlsDirectives = QStringLiteral("        ssl_certificate %1;\n"
                                     "        ssl_certificate_key %2;\n"
                                     "        ssl_protocols %3;\n")
                          .arg(certificate, key, protocol);
}

QString NginxServer::url(const QString& path) const
{
    const QLatin1String scheme(m_listenOptions.isEmpty() ? "http" : "https");
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(path);
}

bool NginxServer::start(int waitMs)
{
    if (!isAvailable())
        return start();
    return QTest::qWaitFor([this] { return start(); }, waitMs);
}

bool NginxServer::start()
{
    if (!isAvailable()) {
        m_error = QStringLiteral("nginx is not installed (%1)").arg(NginxBinary);
        return false;
    }
    const QString prefix = m_prefix.path();
    // A port found free may be taken before nginx binds it; try a few.
    const quint16 earlier = m_port;
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = m_fixedPort ? m_fixedPort : earlier ? earlier : freePort();
        const QString config = QStringLiteral("daemon off;\n"
                                              "%4"
                                              "worker_processes 1;\n"
                                              "pid %1/nginx.pid;\n"
                                              "error_log %1/error.log;\n"
                                              "events { worker_connections 256; }\n"
                                              "http {\n"
                                              "    include /etc/nginx/mime.types;\n"
                                              "    default_type application/octet-stream;\n"
                                              "    access_log off;\n"
                                              "    sendfile on;\n"
                                              "    client_body_temp_path %1/client_body;\n"
                                              "    proxy_temp_path %1/proxy;\n"
                                              "    fastcgi_temp_path %1/fastcgi;\n"
                                              "    uwsgi_temp_path %1/uwsgi;\n"
                                              "    scgi_temp_path %1/scgi;\n"
                                              "%8"
                                              "    server {\n"
                                              "        listen 127.0.0.1:%2%6;\n"
                                              "        root %3;\n"
                                              "%5"
                                              "%7"
                                              "    }\n"
                                              "}\n")
                                   .arg(prefix)
                                   .arg(m_port)
                                   .arg(m_rootDir)
                                   // As root, workers would drop to "nobody" and could not read
                                   // the tests' private temporary folders.
                                   .arg(geteuid() == 0 ? QStringLiteral("user root;\n") : QString())
                                   .arg(m_serverDirectives, m_listenOptions, m_tlsDirectives, m_httpDirectives);
        QFile file(prefix + QStringLiteral("/nginx.conf"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("cannot write the nginx configuration");
            return false;
        }
        file.write(config.toUtf8());
        file.close();

        QFile::remove(prefix + QStringLiteral("/nginx.pid"));
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(NginxBinary,
                         {QStringLiteral("-p"), prefix, QStringLiteral("-c"), prefix + QStringLiteral("/nginx.conf"),
                          QStringLiteral("-e"), prefix + QStringLiteral("/error.log")});
        if (!m_process->waitForStarted(5000)) {
            m_error = QStringLiteral("nginx did not start: ") + m_process->errorString();
            return false;
        }
        // nginx writes its pid file once its sockets are bound: until then a connection may
        // reach another server that holds the port, while ours retries its bind.
        const QString pidFile = prefix + QStringLiteral("/nginx.pid");
        const bool up = QTest::qWaitFor(
            [&] { return m_process->state() != QProcess::Running || (QFileInfo::exists(pidFile) && accepts(m_port)); },
            5000);
        if (up && m_process->state() == QProcess::Running)
            return true;
        m_process->waitForFinished(1000);
        m_error = QStringLiteral("nginx did not come up: ") + QString::fromLocal8Bit(m_process->readAll());
        m_process.reset();
    }
    return false;
}

void NginxServer::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    m_process.reset();
}
