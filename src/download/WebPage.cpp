#include "download/WebPage.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "download/HttpRequest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace WebPage {

namespace {

constexpr qsizetype PageLimit = 65536;
constexpr qsizetype IconLimit = 65536;

HttpRequest::Options pageRequest(const QString& url, std::chrono::milliseconds timeout, const std::atomic<bool>* abort)
{
    HttpRequest::Options options;
    options.url = url;
    options.headers = {QByteArray("User-Agent: ") + Texts::displayName().toUtf8()};
    options.connectTimeout = timeout;
    options.receiveTimeout = timeout;
    options.abort = abort;
    return options;
}

} // namespace

QString GetContentType(const QString& url, std::chrono::milliseconds timeout, const std::atomic<bool>* abort)
{
    QString result = QStringLiteral("UnKnown");
    HttpRequest request(pageRequest(url, timeout, abort));
    const HttpResult outcome = request.perform(
        [&result](const HttpResponseHead& head) {
            result = QString::fromLatin1(head.contentType);
            return false; // the body is not needed
        },
        {});
    if (outcome.error != HttpError::None)
        trace(QStringLiteral("CInternetException in Func: GetContentType, code: %1").arg(outcome.error));
    return result;
}

QString GetTextContent(const QString& url, std::chrono::milliseconds timeout, const std::atomic<bool>* abort)
{
    QByteArray body;
    HttpRequest request(pageRequest(url, timeout, abort));
    const HttpResult outcome = request.perform([](const HttpResponseHead& head) { return head.status == 200; },
                                               [&body](const char* data, qsizetype size) {
                                                   body.append(data, size);
                                                   return body.size() < PageLimit;
                                               });
    if (outcome.error != HttpError::None) {
        trace(
            QStringLiteral("CInternetException in Func: GetTextContent, code: %1URL: %2").arg(outcome.error).arg(url));
    }
    return QString::fromLatin1(body);
}

QString iconPath(const QString& host)
{
    // The fallback icons share the folder: no site may overwrite them.
    if (host.isEmpty() || host == QLatin1String(".") || host == QLatin1String("..") ||
        host.contains(QLatin1Char('/')) || host.contains(QChar(0)) || host == QLatin1String("DefaultVideo") ||
        host == QLatin1String("DefaultAudio"))
        return {};
    return AppPaths::folder(AppPaths::Folder::FavIcons) + host;
}

bool iconPresent(const QString& host)
{
    const QString path = iconPath(host);
    if (path.isEmpty())
        return false;
    // The folder listing compares names exactly, also on a case-insensitive file system.
    const QStringList files = QDir(AppPaths::folder(AppPaths::Folder::FavIcons)).entryList(QDir::Files | QDir::Hidden);
    return files.contains(host, Qt::CaseSensitive);
}

namespace {

constexpr qsizetype LongestAuthority = 253 + 6; // a DNS name and ":65535"

bool isAsciiAlnum(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool isPort(QStringView port)
{
    if (port.isEmpty() || port.size() > 5)
        return false;
    for (const QChar c : port) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int value = port.toInt();
    return value >= 1 && value <= 65535;
}

// host[:port] as a DNS name, an IPv4 address or a bracketed IPv6 address.
bool isAuthority(QStringView authority)
{
    QStringView host = authority;
    QStringView port;
    bool hasPort = false;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 2)
            return false;
        host = authority.mid(1, close - 1);
        const QStringView after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':'))
                return false;
            port = after.mid(1);
            hasPort = true;
        }
        for (const QChar c : host) {
            const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
            if (!hex && c != u':' && c != u'.')
                return false;
        }
    } else {
        const qsizetype colon = authority.indexOf(u':');
        if (colon >= 0) {
            host = authority.left(colon);
            port = authority.mid(colon + 1);
            hasPort = true;
        }
        bool letterOrDigit = false;
        for (const QChar c : host) {
            if (isAsciiAlnum(c))
                letterOrDigit = true;
            else if (c != u'.' && c != u'-' && c != u'_')
                return false;
        }
        if (!letterOrDigit)
            return false;
    }
    return !hasPort || isPort(port);
}

// The address after its leading schemes ("http://", "https://", any case, repeated ones too);
// secure tells whether the last of them, the one before the host, is "https://". Empty without
// a scheme.
QStringView afterSchemes(const QString& pageAddress, bool* secure)
{
    QStringView rest(pageAddress);
    bool schemed = false;
    for (;;) {
        if (rest.startsWith(u"http://", Qt::CaseInsensitive)) {
            rest = rest.mid(7);
            *secure = false;
        } else if (rest.startsWith(u"https://", Qt::CaseInsensitive)) {
            rest = rest.mid(8);
            *secure = true;
        } else {
            break;
        }
        schemed = true;
    }
    return schemed ? rest : QStringView();
}

} // namespace

QString iconHost(const QString& pageAddress)
{
    bool secure = false;
    const QStringView rest = afterSchemes(pageAddress, &secure);
    if (rest.isEmpty())
        return {};
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u'/' && rest[end] != u'?' && rest[end] != u'#')
        ++end;
    if (end == rest.size()) // no path: no icon
        return {};
    QStringView authority = rest.left(end);
    const qsizetype credentials = authority.lastIndexOf(u'@');
    if (credentials >= 0)
        authority = authority.mid(credentials + 1);
    if (authority.size() > LongestAuthority || !isAuthority(authority))
        return {};
    const QString host = authority.toString();
    // The icon request must go to exactly this host (an odd IPv6 literal may pass the test above).
    const QUrl check(QStringLiteral("http://") + host + QStringLiteral("/"), QUrl::StrictMode);
    if (!check.isValid() || check.host().isEmpty() || iconPath(host).isEmpty())
        return {};
    return host;
}

QString iconAddress(const QString& pageAddress)
{
    const QString host = iconHost(pageAddress);
    if (host.isEmpty())
        return {};
    bool secure = false;
    afterSchemes(pageAddress, &secure);
    return (secure ? QStringLiteral("https://") : QStringLiteral("http://")) + host + QStringLiteral("/favicon.ico");
}

void GetFavIcon(const QString& iconUrl,
                std::chrono::milliseconds timeout,
                const QString& host,
                const std::atomic<bool>* abort)
{
    const QString path = iconPath(host);
    if (path.isEmpty())
        return;
    const QString placeholder = AppPaths::folder(AppPaths::Folder::FavIcons) + QStringLiteral("DefaultVideo");
    if (!QFileInfo::exists(path))
        QFile::copy(placeholder, path);

    QByteArray icon;
    bool tooBig = false;
    HttpRequest request(pageRequest(iconUrl, timeout, abort));
    const HttpResult outcome = request.perform([](const HttpResponseHead& head) { return head.status == 200; },
                                               [&icon, &tooBig](const char* data, qsizetype size) {
                                                   icon.append(data, size);
                                                   tooBig = icon.size() >= IconLimit;
                                                   return !tooBig;
                                               });
    if (outcome.error != HttpError::None) {
        trace(QStringLiteral("CInternetException in Func: GetFavIcon, code: %1").arg(outcome.error));
        return;
    }
    if (!outcome.headReceived || outcome.head.status != 200)
        return;
    if (tooBig) {
        QFile::remove(path);
        QFile::copy(placeholder, path);
        return;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(icon);
        file.commit();
    }
}

} // namespace WebPage
