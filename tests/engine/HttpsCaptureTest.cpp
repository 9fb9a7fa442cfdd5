// HTTPS candidates end to end: a real browser plays a page's video from nginx over TLS (1.3 with
// HTTP/2, 1.2 with HTTP/1.1, a test authority) while writing its key log, and the built program
// finds the clip with its https:// address: from a capture file of "lo" (dumpcap) with the key
// log. No secret of the key log may appear in anything the program prints, traces included.
#include "support/BuiltProgram.h"
#include "support/HttpsCases.h"
#include "support/LoopbackRecorder.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"
#include "support/TestSite.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class HttpsCapture : public ::testing::TestWithParam<HttpsCase>
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        m_trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
        m_trawlix.traceOn();
    }

    // The page with its video on nginx over TLS, a capture of its traffic while the browser
    // plays it, and the browser's key log.
    void record()
    {
        const HttpsCase& row = GetParam();
        TestBrowser browser(row.browser, m_dir.filePath(QStringLiteral("browser")));
        if (!browser.installed())
            TRAWLIX_SKIP_UNLESS_CI(TestBrowser::name(row.browser).toStdString() << " is not installed");
        if (!LoopbackRecorder::installed())
            TRAWLIX_SKIP_UNLESS_CI("dumpcap is not installed");
        ASSERT_TRUE(MediaFixture::makeClip(m_site.path(QStringLiteral("clip.mp4")), 3));
        ASSERT_TRUE(m_site.writePage(QStringLiteral("index.html"), "A clip over TLS",
                                     "<video src=\"/clip.mp4\" autoplay muted></video>"));
        m_site.useTls(QString::fromLatin1(row.protocol), row.http2);
        ASSERT_TRUE(m_site.start()) << m_site.error().toStdString();
        m_trawlix.setEnvironment(QStringLiteral("CURL_CA_BUNDLE"), m_site.authority());

        m_capture = m_dir.filePath(QStringLiteral("traffic.pcapng"));
        LoopbackRecorder recorder;
        if (!recorder.start(m_capture, m_site.port()))
            TRAWLIX_SKIP_UNLESS_CI(recorder.error().toStdString());
        m_keyLog = m_dir.filePath(QStringLiteral("keys.log"));
        browser.setKeyLog(m_keyLog);
        browser.setAuthority(m_site.authority());
        ASSERT_TRUE(browser.load(m_site.url(QStringLiteral("/index.html")), 4000)) << browser.error().toStdString();
        ASSERT_TRUE(recorder.stop());
    }

    // Runs the program with these arguments; standard output and error.
    QByteArray run(const QStringList& arguments, int& exitCode)
    {
        const BuiltProgram::Run run = m_trawlix.run(arguments);
        exitCode = run.exitCode;
        return run.out + run.err;
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
    TestSite m_site{m_dir.filePath(QStringLiteral("site"))};
    BuiltProgram m_trawlix{m_dir.filePath(QStringLiteral("trawlix"))};
    QString m_capture;
    QString m_keyLog;
};

TEST_P(HttpsCapture, TheCaptureFileWithItsKeyLogGivesTheHttpsClip)
{
    record();
    if (IsSkipped() || HasFatalFailure())
        return;
    const QString clip = m_site.url(QStringLiteral("/clip.mp4"));
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

INSTANTIATE_TEST_SUITE_P(Browsers, HttpsCapture, httpsCases(), httpsCaseName);

} // namespace
