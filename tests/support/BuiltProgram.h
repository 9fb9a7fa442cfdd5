#pragma once

#include "support/TestProcess.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

// The built program run as a user would start it, in a folder of the test's own: its own HOME
// (FOLDER/home), XDG_CONFIG_HOME (FOLDER/config, where the settings store lives), XDG_CACHE_HOME,
// XDG_DATA_HOME, XDG_RUNTIME_DIR (FOLDER/runtime, mode 0700), a data folder (FOLDER/data), the
// offscreen platform, no proxy for loopback, TRAWLIX_HOME unset and a stub in place of xdg-open.
//
// A run to its end (a capture file, the listing, a command) or a live run that the test waits
// on and ends. A live run writes its output (standard output and error together) to a file of
// its own, so a test that waits on something else meanwhile never stalls the program on a full
// pipe. Several objects may share one folder: each is one run of the program on that data, as
// two starts of the program by one user are.
class BuiltProgram final
{
public:
    enum class Mode
    {
        Headless, // trawlix --headless --data-dir DATA arguments...
        Desktop,  // trawlix --data-dir DATA arguments... (the windows, offscreen)
        AsGiven,  // trawlix arguments... exactly as given
    };

    explicit BuiltProgram(QString folder, Mode mode = Mode::Headless);
    ~BuiltProgram(); // ends a live run (terminate, then kill)
    BuiltProgram(const BuiltProgram&) = delete;
    BuiltProgram& operator=(const BuiltProgram&) = delete;

    static QString binary();
    // False where the program is not built (TRAWLIX_BUILD_GUI=OFF).
    static bool built();
    // Live capture on "lo" needs root or the capture capabilities; why not, when not.
    static bool canCaptureOnLoopback(QString* why);
    // What a run of the program that makes or checks media lacks here: the program, ffmpeg.
    // Empty when nothing is missing.
    static QString missingForMedia();
    // The same for a run that captures on "lo": the capture permission too.
    static QString missingForLiveCapture();

    void setMode(Mode mode) { m_mode = mode; }
    QString folder() const { return m_folder; }
    QString dataDir() const { return m_folder + QStringLiteral("/data"); }
    QString data(const QString& relative) const { return dataDir() + QLatin1Char('/') + relative; }
    // The bytes of a file in the data folder; empty when it cannot be read.
    QByteArray readData(const QString& relative) const;
    QString configDir() const { return m_folder + QStringLiteral("/config"); }
    QString settingsFile() const { return configDir() + QStringLiteral("/Trawlix/Trawlix.conf"); }
    QString homeDir() const { return m_folder + QStringLiteral("/home"); }
    QString runtimeDir() const { return m_folder + QStringLiteral("/runtime"); }
    QString cacheDir() const { return m_folder + QStringLiteral("/cache"); }
    // The program's environment: the test's own as it is now (a sound server the test started
    // meanwhile is in it), the folders above, then what setEnvironment() and removeEnvironment()
    // said. For a process that must share it too (a browser whose cache the program reads).
    QProcessEnvironment environment() const;

    // Writes a value into the program's settings store, seeded with its defaults first.
    void setSetting(const QString& name, const QString& value) const;
    QString setting(const QString& name) const;
    void setEnvironment(const QString& name, const QString& value) { m_overrides[name] = value; }
    void removeEnvironment(const QString& name) { m_overrides[name] = std::nullopt; }
    // TRAWLIX_TRACE=1: the program says what its parts do (on standard error).
    void traceOn() { setEnvironment(QStringLiteral("TRAWLIX_TRACE"), QStringLiteral("1")); }

    using Run = TestProcess::Result;
    // Sets process up to run the program with these arguments (program, command line and
    // environment), for a test that drives the process itself: process.start() starts it.
    void prepare(QProcess& process, const QStringList& arguments) const;

    // Runs the program with these arguments to its end.
    Run run(const QStringList& arguments, int timeoutMs = 60000) const;

    // Starts a live run; false when the program did not start.
    bool start(const QStringList& arguments);
    // Starts a live capture on "lo" (`--interface lo` and the extra arguments) and gives it the
    // moment it needs to open the adapter; false when it is not running after that.
    bool startCapture(const QStringList& extra = {});
    bool running() const;
    qint64 pid() const;
    // Everything the live run printed so far (standard output and error together).
    QByteArray output() const;
    // Waits until condition holds for the output, or the run ended, or timeoutMs passed; whether
    // it holds. Events are processed meanwhile.
    bool waitFor(const std::function<bool(const QByteArray& output)>& condition, int timeoutMs) const;
    // Waits until the output holds text, or the run ended, or timeoutMs passed.
    bool waitForOutput(const QByteArray& text, int timeoutMs) const;
    // Waits until the download row of url is removed, which the assembly does once the file is
    // in the library (or the run ended, or timeoutMs passed).
    bool waitForDownload(const QString& url, int timeoutMs) const;
    // Lets the live run go on for ms, or until it ends.
    void settle(int ms) const;
    // Waits for the live run to end by itself: its exit code; -1 after a crash, or when it still
    // runs after ms (it is left running).
    int waitForExit(int ms = 30000);
    // Ends the live run: SIGTERM, and SIGKILL when it has not ended after graceMs. Its exit code;
    // -1 when it had to be killed or crashed.
    int stop(int graceMs = 15000);
    // Ends the live run with SIGKILL, as a crash or the system would.
    void kill();

    // The base name of the download row of this address ("download N [BASE]: [HLS] URL 0%");
    // empty when there is none. Live capture sees every test's traffic on lo: rows of other
    // servers may be there too.
    static QString downloadBase(const QByteArray& output, const QString& url);
    // How many download rows show this address.
    static int downloadRows(const QByteArray& output, const QString& url);

private:
    QStringList commandLine(const QStringList& arguments) const;
    QString outputFile() const;

    QString m_folder;
    Mode m_mode;
    int m_serial;
    std::map<QString, std::optional<QString>> m_overrides;
    std::unique_ptr<QProcess> m_live;
};
