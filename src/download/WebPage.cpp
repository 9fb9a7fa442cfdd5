#include "download/WebPage.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "download/HttpRequest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    if (host.isEmpty() || host == QLatin1String(".") || host == QLatin1String("..") ||
        host.contains(QLatin1Char('/')) || host.contains(QChar(0)))
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

QString iconHost(const QString& pageAddress)
{
    QString host = pageAddress;
    host.remove(QLatin1String("https://"));
    host.remove(QLatin1String("http://"));
    const qsizetype slash = host.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    return host.left(slash);
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
