#include "download/CookieJar.h"

#include "download/CurlEasy.h"

#include <QList>
#include <QUrl>

#include <algorithm>
#include <mutex>

namespace {

// libcurl asks for one lock per shared data kind; the cookie kind is the one that matters.
std::mutex g_locks[CURL_LOCK_DATA_LAST];

void lockShare(CURL*, curl_lock_data data, curl_lock_access, void*)
{
    g_locks[data].lock();
}

void unlockShare(CURL*, curl_lock_data data, void*)
{
    g_locks[data].unlock();
}

// Names are HTTP tokens; values may hold anything but control characters (browsers send
// spaces and commas), which would also break the one-line form the store is given.
bool isCookieName(const QString& name)
{
    static const QString kTokenMarks = QStringLiteral("!#$%&'*+-.^_`|~");
    if (name.isEmpty())
        return false;
    return std::all_of(name.cbegin(), name.cend(),
                       [](QChar c) { return c.unicode() < 0x80 && (c.isLetterOrNumber() || kTokenMarks.contains(c)); });
}

bool isCookieValue(const QString& value)
{
    return std::none_of(value.cbegin(), value.cend(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() > 0xff; });
}

} // namespace

CookieJar& CookieJar::instance()
{
    static CookieJar jar;
    return jar;
}

CookieJar::CookieJar()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, lockShare);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, unlockShare);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

CookieJar::~CookieJar()
{
    curl_share_cleanup(m_share);
}

void CookieJar::attach(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""); // cookie engine on, no file
}

bool CookieJar::store(const QString& url, const QString& name, const QString& value)
{
    const QString host = QUrl(url).host();
    if (host.isEmpty() || name.isEmpty())
        return false;
    // Netscape form: host-only for IP addresses too, where a "domain=" attribute is refused.
    // Tabs or line breaks inside the texts would split the line; they cannot be a cookie.
    const QString line = host + QStringLiteral("\tFALSE\t/\tFALSE\t0\t") + name + QLatin1Char('\t') + value;
    if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')) || line.count(QLatin1Char('\t')) != 6)
        return false;
    // A throw-away handle on the share writes the jar directly. Not attach(): its cookie file
    // entry is freed only by a transfer, which this handle never makes.
    CurlEasy handle;
    if (!handle.get())
        return false;
    curl_easy_setopt(handle.get(), CURLOPT_SHARE, m_share);
    return curl_easy_setopt(handle.get(), CURLOPT_COOKIELIST, line.toLatin1().constData()) == CURLE_OK;
}

QList<std::pair<QString, QString>> CookieJar::split(const QString& header)
{
    QList<std::pair<QString, QString>> result;
    for (const QString& raw : header.split(QLatin1Char(';'))) {
        const QString piece = raw.trimmed();
        // The list ends at the first empty piece, as the browser's header is read.
        if (piece.isEmpty() || result.size() >= kMostCookies)
            break;
        const qsizetype equals = piece.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString name = piece.left(equals).trimmed();
        const QString value = piece.mid(equals + 1).trimmed();
        if (isCookieName(name) && isCookieValue(value))
            result.append({name, value});
    }
    return result;
}

QList<QByteArray> CookieJar::cookies()
{
    QList<QByteArray> result;
    CurlEasy handle;
    if (!handle.get())
        return result;
    curl_easy_setopt(handle.get(), CURLOPT_SHARE, m_share);
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(handle.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return result;
    for (curl_slist* item = list; item; item = item->next)
        result.append(QByteArray(item->data));
    curl_slist_free_all(list);
    return result;
}

void CookieJar::clear()
{
    CurlEasy handle;
    if (!handle.get())
        return;
    curl_easy_setopt(handle.get(), CURLOPT_SHARE, m_share);
    curl_easy_setopt(handle.get(), CURLOPT_COOKIELIST, "ALL");
}
