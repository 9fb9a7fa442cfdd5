#include "support/TestSite.h"

#include "support/MediaFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A types block in a server replaces the stock table there, so it names every type the sites use.
const QString kTypes = QStringLiteral("        types {\n"
                                      "            text/html html;\n"
                                      "            application/javascript js;\n"
                                      "            image/x-icon ico;\n"
                                      "            video/mp4 mp4;\n"
                                      "            audio/mp4 m4a;\n"
                                      "            application/vnd.apple.mpegurl m3u8;\n"
                                      "            video/mp2t ts;\n"
                                      "            application/dash+xml mpd;\n"
                                      "            video/iso.segment m4s;\n"
                                      "        }\n");

} // namespace

TestSite::TestSite(QString folder)
    : m_folder(std::move(folder))
{
    QDir().mkpath(www());
}

void TestSite::useTls(const QString& protocol, bool http2)
{
    m_tls = true;
    m_protocol = protocol;
    m_http2 = http2;
}

bool TestSite::start(int waitMs)
{
    stop();
    if (m_tls && !QFileInfo::exists(m_certificates.authority()) &&
        !m_certificates.make(m_folder + QStringLiteral("/tls"))) {
        m_error = m_certificates.error();
        return false;
    }
    m_nginx = std::make_unique<NginxServer>(www(), m_port);
    if (!m_nginx->isAvailable()) {
        m_error = QStringLiteral("nginx is not installed");
        return false;
    }
    QString directives = kTypes;
    if (m_logRequests)
        directives += QStringLiteral("        access_log %1;\n").arg(accessLog());
    m_nginx->setServerDirectives(directives);
    if (m_tls)
        m_nginx->setTls(m_certificates.certificate(), m_certificates.key(), m_protocol, m_http2);
    if (m_nginx->start(waitMs))
        return true;
    m_error = m_nginx->error();
    return false;
}

namespace {

const QString kPlayers = QStringLiteral(TRAWLIX_BINARY_DIR "/players/node_modules");
const QString kHls = kPlayers + QStringLiteral("/hls.js/dist/hls.min.js");
const QString kDash = kPlayers + QStringLiteral("/dashjs/dist/modern/umd/dash.all.min.js");

} // namespace

bool TestSite::playersInstalled()
{
    return QFileInfo::exists(kHls) && QFileInfo::exists(kDash);
}

bool TestSite::copyPlayers(const QString& folder)
{
    return QDir().mkpath(folder) && QFile::copy(kHls, folder + QStringLiteral("/hls.min.js")) &&
           QFile::copy(kDash, folder + QStringLiteral("/dash.all.min.js"));
}

void TestSite::stop()
{
    if (m_nginx)
        m_nginx->stop();
}

bool TestSite::write(const QString& relative, const QByteArray& bytes) const
{
    const QString target = path(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray TestSite::read(const QString& relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestSite::writePage(const QString& relative, const QByteArray& title, const QByteArray& html) const
{
    return write(relative, "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title +
                               "</title></head><body>" + html + "</body></html>\n");
}

bool TestSite::writeIcon(const QString& colour) const
{
    return MediaFixture::make(path(QStringLiteral("favicon.ico")),
                              {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("color=c=%1:s=16x16").arg(colour), QStringLiteral("-frames:v"),
                               QStringLiteral("1"), QStringLiteral("-pix_fmt"), QStringLiteral("bgra")});
}
