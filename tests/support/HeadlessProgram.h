#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

// The built program run headless as a user would start it, with a settings store and a data
// folder of the test's own (`trawlix --headless --data-dir FOLDER/data ...`, XDG_CONFIG_HOME at
// FOLDER/config, TRAWLIX_HOME unset). A run to its end (a capture file, the listing) or a live
// run that the test ends; a live run writes its output to a file, so a test that waits on
// something else meanwhile never stalls the program on a full pipe.
class HeadlessProgram final
{
public:
    explicit HeadlessProgram(QString folder);
    ~HeadlessProgram(); // ends a live run
    HeadlessProgram(const HeadlessProgram&) = delete;
    HeadlessProgram& operator=(const HeadlessProgram&) = delete;

    static QString binary();
    // False where the program is not built (TRAWLIX_BUILD_GUI=OFF).
    static bool built();
    // Live capture on "lo" needs root or the capture capabilities; why not, when not.
    static bool canCaptureOnLoopback(QString* why);

    QString dataDir() const { return m_folder + QStringLiteral("/data"); }
    QString data(const QString& relative) const { return dataDir() + QLatin1Char('/') + relative; }
    QString configDir() const { return m_folder + QStringLiteral("/config"); }

    // Writes a value into the program's settings store, seeded with its defaults first.
    void setSetting(const QString& name, const QString& value) const;
    void setEnvironment(const QString& name, const QString& value) { m_environment.insert(name, value); }

    struct Run
    {
        bool finished = false; // false: ended after the timeout
        int exitCode = -1;     // -1 also for a crash
        qint64 elapsedMs = 0;
        QByteArray out;
        QByteArray err;
    };
    // Runs `trawlix --headless --data-dir DATA arguments...` to its end.
    Run run(const QStringList& arguments, int timeoutMs = 60000) const;

    // Starts a live run; false when the program did not start.
    bool start(const QStringList& arguments);
    bool running() const;
    // Everything the live run printed so far (standard output and error together).
    QByteArray output() const;
    // Waits until the output holds text, or the run ended, or timeoutMs passed.
    bool waitForOutput(const QByteArray& text, int timeoutMs) const;
    // Waits until the download row of url is removed, which the assembly does once the file is
    // in the library (or the run ended, or timeoutMs passed).
    bool waitForDownload(const QString& url, int timeoutMs) const;
    // Lets the live run go on for ms (a capture opens its adapter meanwhile).
    void settle(int ms) const;
    // Ends the live run (terminate, then kill); its exit code, -1 when it had to be killed.
    int stop();

    // The base name of the download row of this address ("download N [BASE]: [HLS] URL 0%");
    // empty when there is none. Live capture sees every test's traffic on lo: rows of other
    // servers may be there too.
    static QString downloadBase(const QByteArray& output, const QString& url);
    // How many download rows show this address.
    static int downloadRows(const QByteArray& output, const QString& url);

private:
    QStringList commandLine(const QStringList& arguments) const;

    QString m_folder;
    QProcessEnvironment m_environment;
    std::unique_ptr<QProcess> m_live;
};
