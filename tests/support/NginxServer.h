#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A real nginx on 127.0.0.1 serving one folder: ranges, keep-alive and the stock MIME types.
// Its configuration, pid, logs and temp paths live in a temporary folder of its own, so it
// runs beside any other nginx. Stopped by the destructor.
class NginxServer final
{
public:
    // fixedPort 0: a free port is picked; otherwise that port (8080 for capture tests, whose
    // analyser knows HTTP by its ports).
    explicit NginxServer(QString rootDir, quint16 fixedPort = 0);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Starts nginx and waits until it accepts connections; false with error() set otherwise.
    // Started again after stop(), it listens on the port it had (a server that came back).
    bool start();
    // start(), tried again for up to waitMs while the port is held (another test on 8080 ends).
    bool start(int waitMs);
    void stop();
    bool isAvailable() const; // the nginx binary exists
    // Directives added to the server block before start() ("location /slow/ { limit_rate 20k; }").
    void setServerDirectives(const QString& directives) { m_serverDirectives = directives; }
    // Directives added to the http block before start() ("log_format ...;").
    void setHttpDirectives(const QString& directives) { m_httpDirectives = directives; }
    // Serves HTTPS with this certificate and key, TLS version "TLSv1.3" or "TLSv1.2", over
    // HTTP/2 when http2 is set; call before start().
    void setTls(const QString& certificate, const QString& key, const QString& protocol, bool http2);

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT" + path (path starts with "/"); "https://" once setTls() was called.
    QString url(const QString& path) const;
    QString error() const { return m_error; }

private:
    QString m_rootDir;
    QTemporaryDir m_prefix;
    std::unique_ptr<QProcess> m_process;
    quint16 m_fixedPort = 0;
    quint16 m_port = 0;
    QString m_error;
    QString m_serverDirectives;
    QString m_httpDirectives;
    QString m_listenOptions; // " ssl http2" and the like
    QString m_tlsDirectives;
};
