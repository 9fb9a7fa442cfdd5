#pragma once

#include "support/NginxServer.h"
#include "support/TestCertificates.h"

#include <QByteArray>
#include <QString>

#include <memory>

// A web site of a test: a folder of pages, media and streams served by nginx on 127.0.0.1 with
// the types a web player needs (HLS and DASH ones too), over plain HTTP or over TLS with a
// certificate from an authority made for the test. Pages and files are written under www()
// before or after start().
class TestSite final
{
public:
    explicit TestSite(QString folder);

    // Serves HTTPS: "TLSv1.3" or "TLSv1.2", over HTTP/2 when http2 is set. Before start().
    void useTls(const QString& protocol, bool http2);
    // A fixed port (8080 for plain HTTP the frame analyser knows by its port); 0 picks a free one.
    void setPort(quint16 port) { m_port = port; }
    // nginx logs every request to accessLog() (read it once the site has stopped).
    void logRequests() { m_logRequests = true; }

    // Starts nginx (making the certificates first for TLS); false with error() set otherwise.
    // With a fixed port that another test still holds, it tries again for up to waitMs.
    bool start(int waitMs = 0);
    void stop();

    QString www() const { return m_folder + QStringLiteral("/www"); }
    // The web players the stream tests play through (hls.js, dash.js), which
    // scripts/install-players.sh puts into the build folder; false when they are not there.
    static bool playersInstalled();
    // Copies them into folder as "hls.min.js" and "dash.all.min.js".
    static bool copyPlayers(const QString& folder);
    QString path(const QString& relative) const { return www() + QLatin1Char('/') + relative; }
    bool write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;
    // A page with this title whose body is html.
    bool writePage(const QString& relative, const QByteArray& title, const QByteArray& html) const;
    // A 16x16 site icon of one colour ("red"), as favicon.ico; made by ffmpeg.
    bool writeIcon(const QString& colour) const;

    QString url(const QString& path) const { return m_nginx ? m_nginx->url(path) : QString(); }
    quint16 port() const { return m_nginx ? m_nginx->port() : 0; }
    // The authority's certificate, for the browsers and CURL_CA_BUNDLE; empty without TLS.
    QString authority() const { return m_tls ? m_certificates.authority() : QString(); }
    QString accessLog() const { return m_folder + QStringLiteral("/access.log"); }
    QString error() const { return m_error; }

private:
    QString m_folder;
    bool m_tls = false;
    QString m_protocol;
    bool m_http2 = false;
    quint16 m_port = 0;
    bool m_logRequests = false;
    TestCertificates m_certificates;
    std::unique_ptr<NginxServer> m_nginx;
    QString m_error;
};
