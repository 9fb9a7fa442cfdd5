// `trawlix --browser [NAME] [URL]`: which browser starts, with which switches and environment,
// detached from the program; and a real Chromium started this way writing its TLS keys to the
// key log the capture reads. Browsers are stand-in scripts on a PATH of their own, so that no
// test starts the machine's browser unless it asks for it.
#include "app/CommandLine.h"
#include "app/ParseWords.h"
#include "support/BuiltProgram.h"
#include "support/NginxServer.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"
#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

CommandLine parse(std::initializer_list<const char*> words)
{
    return parseWords(words);
}

TEST(BrowserCommandLine, NameAndAddressInEitherOrderAndOnlyWebAddresses)
{
    CommandLine line = parse({"--browser"});
    EXPECT_TRUE(line.browser && line.browserName.isEmpty() && line.browserUrl.isEmpty());
    line = parse({"--browser", "firefox", "https://example.org/a b"});
    EXPECT_EQ(line.browserName, QStringLiteral("firefox"));
    EXPECT_EQ(line.browserUrl, QStringLiteral("https://example.org/a b"));
    line = parse({"--browser", "http://127.0.0.1/", "chromium", "--keylog", "/k.log"});
    EXPECT_TRUE(line.error.isEmpty()) << line.error.toStdString();
    EXPECT_EQ(line.browserName, QStringLiteral("chromium"));
    EXPECT_EQ(line.browserUrl, QStringLiteral("http://127.0.0.1/"));
    EXPECT_EQ(line.keyLogFile, QStringLiteral("/k.log"));
    EXPECT_FALSE(parse({"--browser", "firefox", "file:///etc/passwd"}).error.isEmpty());
}

class BrowserCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built");
        m_bin = m_dir.filePath(QStringLiteral("browsers"));
        m_runtime = m_trawlix.runtimeDir();
        ASSERT_TRUE(QDir().mkpath(m_bin));
        m_trawlix.setEnvironment(QStringLiteral("PATH"), m_bin);
        m_record = m_dir.filePath(QStringLiteral("record"));
    }
    void TearDown() override
    {
        // The stand-ins wait a while, as a browser would; end the ones still there.
        QFile pids(m_dir.filePath(QStringLiteral("pids")));
        if (pids.open(QIODevice::ReadOnly)) {
            for (const QByteArray& pid : pids.readAll().split('\n')) {
                if (pid.toInt() > 0)
                    ::kill(pid.toInt(), SIGKILL);
            }
        }
    }

    // A stand-in browser: writes its arguments, one a line, then its key log variable, then
    // waits 30 s (so that the program must not wait for it).
    void addBrowser(const QString& name)
    {
        const QString path = m_bin + QLatin1Char('/') + name;
        QFile script(path);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho $$ >> '" + QFile::encodeName(m_dir.filePath(QStringLiteral("pids"))) +
                     "'\n{ for a in \"$@\"; do echo \"$a\"; done; echo \"KEYLOG=$SSLKEYLOGFILE\"; } > '" +
                     QFile::encodeName(m_record) + ".tmp'\n/bin/mv '" + QFile::encodeName(m_record) + ".tmp' '" +
                     QFile::encodeName(m_record) + "'\nexec /bin/sleep 30\n");
        script.close();
        ASSERT_TRUE(
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // Runs the program; its exit code, standard output and error. Only the stand-ins are on PATH.
    int run(const QStringList& arguments, QByteArray& output, const QString& browserVariable = {})
    {
        if (browserVariable.isEmpty())
            m_trawlix.removeEnvironment(QStringLiteral("BROWSER"));
        else
            m_trawlix.setEnvironment(QStringLiteral("BROWSER"), browserVariable);
        const BuiltProgram::Run run = m_trawlix.run(QStringList{QStringLiteral("--browser")} + arguments, 20000);
        m_took = run.elapsedMs;
        output = run.out + run.err;
        return run.finished ? run.exitCode : -1;
    }

    // The stand-in's record, once it has written it.
    QStringList record()
    {
        QFile file(m_record);
        if (!QTest::qWaitFor([this] { return QFile::exists(m_record); }, 10000) || !file.open(QIODevice::ReadOnly))
            return {};
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        file.close();
        QFile::remove(m_record);
        return lines;
    }

    QString ownKeyLog() const { return m_runtime + QStringLiteral("/trawlix/tls-keys.log"); }

    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.path(), BuiltProgram::Mode::AsGiven};
    QString m_bin;
    QString m_runtime;
    QString m_record;
    qint64 m_took = 0;
};

TEST_F(BrowserCommand, ChromiumGetsTheKeyLogQuicAndEchOffAndTheProgramDoesNotWaitForIt)
{
    addBrowser(QStringLiteral("chromium"));
    QByteArray output;
    ASSERT_EQ(run({QStringLiteral("chromium"), QStringLiteral("https://127.0.0.1:9/page")}, output), 0)
        << output.data();
    EXPECT_LT(m_took, 15000) << "the program waited for the browser";
    EXPECT_TRUE(output.contains("it writes its TLS keys to " + QFile::encodeName(ownKeyLog()))) << output.data();
    EXPECT_EQ(record(),
              (QStringList{QStringLiteral("--ssl-key-log-file=") + ownKeyLog(), QStringLiteral("--disable-quic"),
                           QStringLiteral("--disable-features=EncryptedClientHello"),
                           QStringLiteral("https://127.0.0.1:9/page"), QStringLiteral("KEYLOG=") + ownKeyLog()}));
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(ownKeyLog()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // --keylog names another key log.
    const QString mine = m_dir.filePath(QStringLiteral("mine.log"));
    ASSERT_EQ(run({QStringLiteral("chromium"), QStringLiteral("--keylog"), mine}, output), 0) << output.data();
    EXPECT_EQ(record(), (QStringList{QStringLiteral("--ssl-key-log-file=") + mine, QStringLiteral("--disable-quic"),
                                     QStringLiteral("--disable-features=EncryptedClientHello"),
                                     QStringLiteral("KEYLOG=") + mine}));
}

TEST_F(BrowserCommand, TheDefaultBrowserIsFoundAndTheDesktopOpenerIsNoBrowser)
{
    QByteArray output;
    addBrowser(QStringLiteral("xdg-open"));
    EXPECT_EQ(run({}, output, QStringLiteral("xdg-open")), 1) << output.data();
    EXPECT_TRUE(output.contains("no web browser found")) << output.data();
    EXPECT_FALSE(QFile::exists(m_record)) << "the desktop's opener was started";

    addBrowser(QStringLiteral("firefox-esr"));
    ASSERT_EQ(run({QStringLiteral("http://127.0.0.1:9/")}, output, QStringLiteral("firefox-esr %s")), 0)
        << output.data();
    EXPECT_EQ(record(), (QStringList{QStringLiteral("--new-window"), QStringLiteral("http://127.0.0.1:9/"),
                                     QStringLiteral("KEYLOG=") + ownKeyLog()}));

    // No $BROWSER: the first of the common browsers on PATH.
    ASSERT_EQ(run({}, output), 0) << output.data();
    EXPECT_EQ(record(), (QStringList{QStringLiteral("--new-window"), QStringLiteral("KEYLOG=") + ownKeyLog()}));

    EXPECT_EQ(run({QStringLiteral("no-such-browser")}, output), 1);
    EXPECT_TRUE(output.contains("no browser called no-such-browser")) << output.data();
}

TEST_F(BrowserCommand, ABrowserRunningAlreadyIsNamedInTheMessage)
{
    addBrowser(QStringLiteral("chromium"));
    // A process of that name runs already (a copy of sleep called chromium).
    const QString running = m_dir.filePath(QStringLiteral("other/chromium"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(running).path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), running));
    QProcess old;
    old.start(running, {QStringLiteral("30")});
    ASSERT_TRUE(old.waitForStarted());
    QByteArray output;
    EXPECT_EQ(run({QStringLiteral("chromium")}, output), 0) << output.data();
    EXPECT_TRUE(output.contains("running already")) << output.data();
    old.kill();
    old.waitForFinished();
}

// The real thing: Chromium started by `trawlix --browser` loads a page over TLS 1.3 and the
// key log the capture would read fills with its secrets. (The stand-in only adds what a test
// browser needs: headless, no sandbox as root, every background service off.)
TEST_F(BrowserCommand, RealChromiumWritesItsKeysToTheKeyLogTheCaptureReads)
{
    TestBrowser browser(TestBrowser::Kind::Chromium, m_dir.filePath(QStringLiteral("profile")));
    if (!browser.installed())
        TRAWLIX_SKIP_UNLESS_CI("chromium is not installed");
    TestCertificates certificates;
    ASSERT_TRUE(certificates.make(m_dir.filePath(QStringLiteral("tls")))) << certificates.error().toStdString();
    const QString www = m_dir.filePath(QStringLiteral("www"));
    ASSERT_TRUE(QDir().mkpath(www));
    QFile page(www + QStringLiteral("/index.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<!doctype html><title>keys</title><p>hello</p>");
    page.close();
    NginxServer nginx(www);
    nginx.setTls(certificates.certificate(), certificates.key(), QStringLiteral("TLSv1.3"), true);
    ASSERT_TRUE(nginx.start()) << nginx.error().toStdString();

    const QString real = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    QStringList extra = browser.arguments(nginx.url(QStringLiteral("/index.html")), 2000);
    QByteArray quoted;
    for (const QString& argument : std::as_const(extra))
        quoted += " '" + argument.toUtf8().replace('\'', "'\\''") + '\'';
    const QString wrapper = m_bin + QStringLiteral("/chromium");
    QFile script(wrapper);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $$ >> '" + QFile::encodeName(m_dir.filePath(QStringLiteral("pids"))) + "'\nexec '" +
                 QFile::encodeName(real) + "' \"$@\"" + quoted + "\n");
    script.close();
    ASSERT_TRUE(
        QFile::setPermissions(wrapper, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    QByteArray output;
    ASSERT_EQ(run({QStringLiteral("chromium")}, output), 0) << output.data();
    QByteArray keys;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QFile log(ownKeyLog());
            if (log.open(QIODevice::ReadOnly))
                keys = log.readAll();
            return keys.contains("CLIENT_TRAFFIC_SECRET_0 ") && keys.contains("SERVER_TRAFFIC_SECRET_0 ");
        },
        30000))
        << "no TLS 1.3 secrets in the key log:\n"
        << keys.constData();
}

} // namespace
