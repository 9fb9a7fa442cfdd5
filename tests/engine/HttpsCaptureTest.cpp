// HTTPS candidates end to end: a real browser plays a page's video from nginx over TLS (1.3 with
// HTTP/2, 1.2 with HTTP/1.1, a test authority) while writing its key log, and the built program
// finds the clip with its https:// address: from a capture file of "lo" (dumpcap) with the key
// log. No secret of the key log may appear in anything the program prints, traces included.
#include "base/Settings.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"
#include "support/TestCertificates.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");

struct HttpsCase
{
    TestBrowser::Kind browser;
    const char* protocol; // nginx's ssl_protocols
    bool http2;
};

std::string caseName(const ::testing::TestParamInfo<HttpsCase>& row)
{
    return TestBrowser::name(row.param.browser).section(QLatin1Char('-'), 0, 0).toStdString() +
           (row.param.http2 ? "_TLS13_HTTP2" : "_TLS12_HTTP1");
}

class HttpsCapture : public ::testing::TestWithParam<HttpsCase>
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kBinary).isExecutable())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        Settings settings(m_dir.filePath(QStringLiteral("config/Trawlix/Trawlix.conf")));
        settings.seedDefaultsIfMissing();
        settings.write(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    }

    // The page with its video on nginx over TLS, a capture of its traffic while the browser
    // plays it, and the browser's key log.
    void record()
    {
        const HttpsCase& row = GetParam();
        TestBrowser browser(row.browser, m_dir.filePath(QStringLiteral("browser")));
        if (!browser.installed())
            TRAWLIX_SKIP_UNLESS_CI(TestBrowser::name(row.browser).toStdString() << " is not installed");
        if (QStandardPaths::findExecutable(QStringLiteral("dumpcap")).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("dumpcap is not installed");
        ASSERT_TRUE(m_certificates.make(m_dir.filePath(QStringLiteral("tls")))) << m_certificates.error().toStdString();
        const QString www = m_dir.filePath(QStringLiteral("www"));
        ASSERT_TRUE(QDir().mkpath(www));
        ASSERT_TRUE(MediaFixture::makeClip(www + QStringLiteral("/clip.mp4"), 3));
        QFile page(www + QStringLiteral("/index.html"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><html><head><title>A clip over TLS</title></head>"
                   "<body><video src=\"/clip.mp4\" autoplay muted></video></body></html>");
        page.close();
        m_nginx = std::make_unique<NginxServer>(www);
        m_nginx->setTls(m_certificates.certificate(), m_certificates.key(), QString::fromLatin1(row.protocol),
                        row.http2);
        ASSERT_TRUE(m_nginx->start()) << m_nginx->error().toStdString();

        m_capture = m_dir.filePath(QStringLiteral("traffic.pcapng"));
        QProcess dumpcap;
        dumpcap.setProcessChannelMode(QProcess::MergedChannels);
        dumpcap.start(QStringLiteral("dumpcap"),
                      {QStringLiteral("-q"), QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("-f"),
                       QStringLiteral("tcp port %1").arg(m_nginx->port()), QStringLiteral("-w"), m_capture});
        ASSERT_TRUE(dumpcap.waitForStarted(10000));
        const QDeadlineTimer ready(10000);
        QByteArray said;
        while (!said.contains("Capturing on") && !ready.hasExpired() && dumpcap.state() == QProcess::Running) {
            dumpcap.waitForReadyRead(100);
            said += dumpcap.readAll();
        }
        if (!said.contains("Capturing on"))
            TRAWLIX_SKIP_UNLESS_CI("capture on lo is not permitted here: " << said.toStdString());
        m_keyLog = m_dir.filePath(QStringLiteral("keys.log"));
        browser.setKeyLog(m_keyLog);
        browser.setAuthority(m_certificates.authority());
        ASSERT_TRUE(browser.load(m_nginx->url(QStringLiteral("/index.html")), 4000)) << browser.error().toStdString();
        QThread::msleep(500);
        dumpcap.terminate();
        ASSERT_TRUE(dumpcap.waitForFinished(10000));
    }

    // Runs the program with these arguments (TRAWLIX_TRACE on); standard output and error.
    QByteArray run(const QStringList& arguments, int& exitCode)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("TRAWLIX_TRACE"), QStringLiteral("1"));
        environment.insert(QStringLiteral("CURL_CA_BUNDLE"), m_certificates.authority());
        environment.remove(QStringLiteral("TRAWLIX_HOME"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(kBinary, QStringList{QStringLiteral("--headless"), QStringLiteral("--data-dir"),
                                           m_dir.filePath(QStringLiteral("data"))} +
                                   arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            exitCode = -1;
        } else {
            exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        }
        return process.readAll();
    }

    // Every secret of the key log, as written there (hex), and its client random.
    QList<QByteArray> secrets() const
    {
        QFile file(m_keyLog);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> result;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.trimmed().split(' ');
            if (fields.size() == 3 && !fields.front().startsWith('#'))
                result << fields.at(2);
        }
        return result;
    }

    QTemporaryDir m_dir;
    TestCertificates m_certificates;
    std::unique_ptr<NginxServer> m_nginx;
    QString m_capture;
    QString m_keyLog;
};

TEST_P(HttpsCapture, TheCaptureFileWithItsKeyLogGivesTheHttpsClip)
{
    record();
    if (IsSkipped() || HasFatalFailure())
        return;
    const QString clip = m_nginx->url(QStringLiteral("/clip.mp4"));
    ASSERT_TRUE(clip.startsWith(QLatin1String("https://")));
    int exitCode = 0;
    const QByteArray output =
        run({QStringLiteral("--pcap"), m_capture, QStringLiteral("--keylog"), m_keyLog}, exitCode);
    EXPECT_EQ(exitCode, 0) << output.toStdString();
    bool found = false;
    for (const QByteArray& line : output.split('\n')) {
        if (line.contains("\t" + clip.toUtf8() + "\t") && line.endsWith("\t.mp4\tUnnamed media file"))
            found = true;
    }
    EXPECT_TRUE(found) << output.toStdString();

    const QList<QByteArray> keys = secrets();
    ASSERT_FALSE(keys.isEmpty());
    for (const QByteArray& secret : keys) {
        EXPECT_FALSE(output.contains(secret)) << "a secret reached the output";
        EXPECT_FALSE(output.toLower().contains(secret.toLower())) << "a secret reached the output";
    }

    // Without the key log the same capture gives no https candidate.
    const QByteArray blind = run({QStringLiteral("--pcap"), m_capture}, exitCode);
    EXPECT_FALSE(blind.contains(clip.toUtf8())) << blind.toStdString();
    // ... and says once that HTTPS passed without its keys.
    EXPECT_EQ(blind.count("HTTPS was seen without its keys"), 1) << blind.toStdString();
    EXPECT_EQ(output.count("HTTPS was seen without its keys"), 0) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Browsers,
                         HttpsCapture,
                         ::testing::Values(HttpsCase{TestBrowser::Kind::Chromium, "TLSv1.3", true},
                                           HttpsCase{TestBrowser::Kind::Chromium, "TLSv1.2", false},
                                           HttpsCase{TestBrowser::Kind::Firefox, "TLSv1.3", true},
                                           HttpsCase{TestBrowser::Kind::Firefox, "TLSv1.2", false}),
                         caseName);

} // namespace
