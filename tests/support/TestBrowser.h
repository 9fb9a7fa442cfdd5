#pragma once

#include <QString>
#include <QStringList>

// A real browser (Chromium or Firefox ESR) loading one page headless, writing its TLS secrets
// to a key log. Every background service is off, so the browser contacts nothing but the page's
// own server on 127.0.0.1: Chromium by its switches, Firefox by a test profile (updates,
// telemetry, studies, safe browsing, captive portal, DNS over HTTPS, remote settings off).
// Firefox trusts the test's certificate authority through its profile's certificate store;
// Chromium ignores certificate errors.
class TestBrowser final
{
public:
    enum class Kind
    {
        Chromium,
        Firefox,
    };

    TestBrowser(Kind kind, QString folder);

    // True when the browser's program is installed (and, for Firefox, certutil).
    bool installed() const;
    static QString name(Kind kind);

    // The key log the browser writes (SSLKEYLOGFILE); empty turns it off.
    void setKeyLog(const QString& path) { m_keyLog = path; }
    void setAuthority(const QString& caCertificate) { m_authority = caCertificate; }

    // Loads url and lets the page run for about budgetMs (media players fetch meanwhile), then
    // ends the browser. False with error() when it could not start.
    bool load(const QString& url, int budgetMs);
    QString error() const { return m_error; }

    // The command line load() runs, for messages and for the programs that start a browser.
    QStringList arguments(const QString& url, int budgetMs) const;

private:
    bool prepareFirefoxProfile();

    Kind m_kind;
    QString m_folder;
    QString m_keyLog;
    QString m_authority;
    QString m_error;
};
