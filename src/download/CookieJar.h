#pragma once

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

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

    // The cookies the store holds, in libcurl's one-line-per-cookie form (tests).
    QList<QByteArray> cookies();
    void clear();

private:
    CookieJar();
    ~CookieJar();

    CURLSH* m_share = nullptr;
};
