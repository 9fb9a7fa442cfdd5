#pragma once

#include <QString>

// Where the TLS secrets come from that the capture decrypts HTTPS with, and the files that put
// them there.
//
// By default Trawlix keeps a key log of its own, `$XDG_RUNTIME_DIR/trawlix/tls-keys.log` (the
// folder 0700, the file 0600, both checked to be the user's and no links), emptied at each
// start of a live capture; browsers started with SSLKEYLOGFILE naming it ("Open a browser for
// capture", `trawlix --browser`) append to it, and what the capture has read is given back to
// the disk. A key log named on the command line or in the settings ("keylogfile") is read as it
// is and never changed.
//
// The opt-in switch ("keylogeverywhere") writes a user environment file
// (`$XDG_CONFIG_HOME/environment.d/60-trawlix-tls-keys.conf`) so that every program of the next
// login, browsers included, writes its TLS secrets to Trawlix's own key log; switching it off
// removes that file again. A file of that name that Trawlix did not write is left alone.
class KeyLogLocation final
{
public:
    struct Choice
    {
        QString path; // empty: HTTPS is passed over
        bool own = false;
    };

    // The key log a capture reads: the command line's, else the settings', else (for live
    // capture only) Trawlix's own.
    static Choice choose(const QString& commandLine, const QString& setting, bool live);

    static QString ownPath();
    // Creates the folder and empties (or creates) Trawlix's own key log. False with a reason
    // when the folder or the file is not safely the user's.
    // `empty`: at the start of a live capture (a browser started with it keeps appending to the
    // same file); not when a browser is started for a capture that may be running already.
    static bool prepareOwn(QString& error, bool empty = true);

    // What the user is told once when HTTPS passes whose keys the key log does not have.
    static QString missingKeysNotice();
    // What the first start says about the one step HTTPS takes.
    static QString firstStartNotice();

    // Starts a browser (BrowserLaunch: the named one, else the default) that writes its TLS
    // keys to `keyLog`, made first when it is Trawlix's own. `message` says what happened: the
    // browser and the key log, why nothing started, or that a running browser must be closed
    // first (it is started all the same: some browsers open a new process anyway).
    struct BrowserStart
    {
        bool started = false;
        bool alreadyRunning = false;
        QString message;
    };
    static BrowserStart startBrowser(const QString& name, const QString& url, const Choice& keyLog);

    static QString environmentFile();
    // Writes (on) or removes (off) the environment file. False with a reason when it cannot.
    static bool applyEnvironment(bool on, QString& error);
    // Whether the environment file is there and is Trawlix's.
    static bool environmentApplied();
};
