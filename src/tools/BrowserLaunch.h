#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// Starts a web browser that writes its TLS secrets to a key log, so that the capture can read
// the HTTPS it fetches. Every browser gets SSLKEYLOGFILE; Chromium-family browsers also get
// --ssl-key-log-file, --disable-quic (HTTP/3 is not decoded) and Encrypted Client Hello
// switched off (its secrets are logged under a client random that never crosses the wire).
// The browser is started detached, in a session of its own: it outlives this program.
class BrowserLaunch final
{
public:
    enum class Family
    {
        Chromium,
        Firefox,
        Other, // gets the environment only
    };

    struct Browser
    {
        QString program; // absolute path
        Family family = Family::Other;
    };

    // The named browser (a program on PATH or a path), or with an empty name the user's
    // default one ($BROWSER, then the desktop's default web browser, then the first of the
    // common browsers found on PATH). Empty with a reason when there is none.
    static std::optional<Browser> find(const QString& name, QString& error);
    static Family familyOf(const QString& program);

    static QStringList arguments(Family family, const QString& keyLog, const QString& url);
    static QProcessEnvironment environment(const QProcessEnvironment& base, const QString& keyLog);

    // Whether a process of this browser runs already: a running browser takes the new window
    // into its old process, which writes no key log.
    static bool running(const Browser& browser);

    static bool start(const Browser& browser, const QString& keyLog, const QString& url, QString& error);

    // The browsers looked for when no default is set, in order.
    static const QStringList& commonNames();

private:
    static QString defaultFromDesktop();
};
