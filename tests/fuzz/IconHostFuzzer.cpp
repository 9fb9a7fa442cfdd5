// Feeds arbitrary page addresses (a captured request's Referer) to the site-icon host
// derivation. The host names a file in the icon folder and the icon request's server.
#include "download/WebPage.h"

#include <QString>
#include <QUrl>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString host = WebPage::iconHost(address);
    if (host.isEmpty())
        return 0;
    if (host.size() > 259 || WebPage::iconPath(host).isEmpty())
        __builtin_trap();
    for (const QChar c : host) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || c == u'/' || c == u'\\' || c == u'?' || c == u'#' ||
            c == u'@' || c == u'%')
            __builtin_trap();
    }
    // The icon request goes to exactly this host.
    const QUrl url(QStringLiteral("http://") + host + QStringLiteral("/favicon.ico"), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.path() != QLatin1String("/favicon.ico"))
        __builtin_trap();
    return 0;
}
