#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <curl/curl.h>

#include <utility>

// The process-wide cookie store: one libcurl share handle that every request attaches to, so
// cookies the probe stores for an address (and cookies servers set) travel with the download
// parts of that address. Safe to use from any thread.
class CookieJar final
{
public:
    static CookieJar& instance();

    CookieJar(const CookieJar&) = delete;
    CookieJar& operator=(const CookieJar&) = delete;

    // Attaches an easy handle to the store and switches its cookie engine on.
    void attach(CURL* easy);

    // Stores one cookie for the host of url (host-only, path "/", session cookie).
    // Returns false when url has no host or the cookie could not be stored.
    bool store(const QString& url, const QString& name, const QString& value);

    // The name=value pairs of a Cookie request header value, in order, up to the first empty
    // piece: pieces between ';',
    // names and values trimmed; pieces without '=', with an empty name, a name that is no
    // token or a value holding a control character are left out, and at most kMostCookies
    // pairs are returned.
    static constexpr qsizetype kMostCookies = 180;
    static QList<std::pair<QString, QString>> split(const QString& header);

    // The cookies the store holds, in libcurl's one-line-per-cookie form (tests).
    QList<QByteArray> cookies();
    void clear();

private:
    CookieJar();
    ~CookieJar();

    CURLSH* m_share = nullptr;
};
