// The HTTPS test bed the capture tests stand on: nginx over TLS 1.3 with HTTP/2 and over TLS 1.2
// with HTTP/1.1, with a certificate from an authority the test makes, and real browsers that
// play a page's video while writing their TLS secrets to a key log. The reference decoder
// (tshark with that key log) must read the browser's request for the video from a capture of
// "lo"; the program's own decoder is measured against the same captures.
#include "support/HttpsCases.h"
#include "support/LoopbackRecorder.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"
#include "support/TestSite.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class HttpsTestBed : public ::testing::TestWithParam<HttpsCase>
{
};

TEST_P(HttpsTestBed, TheReferenceDecoderReadsTheBrowsersVideoRequest)
{
    const HttpsCase& row = GetParam();
    QTemporaryDir dir;
    TestBrowser browser(row.browser, dir.filePath(QStringLiteral("browser")));
    if (!browser.installed())
        TRAWLIX_SKIP_UNLESS_CI(TestBrowser::name(row.browser).toStdString() << " is not installed");
    if (!LoopbackRecorder::installed() || QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("tshark is not installed");

    TestSite site(dir.filePath(QStringLiteral("site")));
    ASSERT_TRUE(MediaFixture::makeClip(site.path(QStringLiteral("clip.mp4")), 3));
    ASSERT_TRUE(site.writePage(QStringLiteral("index.html"), "A clip over TLS",
                               "<video src=\"/clip.mp4\" autoplay muted></video>"));
    site.useTls(QString::fromLatin1(row.protocol), row.http2);
    ASSERT_TRUE(site.start()) << site.error().toStdString();

    const QString capture = dir.filePath(QStringLiteral("traffic.pcapng"));
    LoopbackRecorder recorder;
    if (!recorder.start(capture, site.port()))
        TRAWLIX_SKIP_UNLESS_CI(recorder.error().toStdString());
    const QString keyLog = dir.filePath(QStringLiteral("keys.log"));
    browser.setKeyLog(keyLog);
    browser.setAuthority(site.authority());
    ASSERT_TRUE(browser.load(site.url(QStringLiteral("/index.html")), 4000)) << browser.error().toStdString();
    ASSERT_TRUE(recorder.stop());

    QFile keys(keyLog);
    ASSERT_TRUE(keys.open(QIODevice::ReadOnly)) << "the browser wrote no key log";
    const QByteArray secrets = keys.readAll();
    EXPECT_TRUE(secrets.contains(row.http2 ? "CLIENT_TRAFFIC_SECRET_0 " : "CLIENT_RANDOM "));

    QProcess tshark;
    tshark.start(QStringLiteral("tshark"),
                 {QStringLiteral("-r"), capture, QStringLiteral("-o"), QStringLiteral("tls.keylog_file:") + keyLog,
                  QStringLiteral("-Y"), row.http2 ? QStringLiteral("http2.header") : QStringLiteral("http"),
                  QStringLiteral("-V")});
    ASSERT_TRUE(tshark.waitForFinished(60000));
    const QByteArray decoded = tshark.readAllStandardOutput();
    EXPECT_TRUE(decoded.contains("/clip.mp4")) << "the video request was not decoded";
    EXPECT_TRUE(decoded.contains("video/mp4")) << "the video answer was not decoded";
}

INSTANTIATE_TEST_SUITE_P(Browsers, HttpsTestBed, httpsCases(), httpsCaseName);

} // namespace
