// HTTPS into the library, as a user meets it: `trawlix --headless --interface lo --keylog KEYS`
// runs while a real browser, writing its TLS secrets to KEYS, plays a page's video from nginx
// over TLS (1.3 with HTTP/2, 1.2 with HTTP/1.1; a test authority). The clip must reach
// "Videos/" with exactly the server's bytes, the page's title and the site's own icon, all
// fetched over HTTPS with the certificate checked.
#include "support/BuiltProgram.h"
#include "support/HttpsCases.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/TestBrowser.h"
#include "support/TestSite.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class HttpsEndToEnd : public ::testing::TestWithParam<HttpsCase>
{
};

TEST_P(HttpsEndToEnd, ThePlayedClipReachesTheLibraryWithTitleAndIcon)
{
    const HttpsCase& row = GetParam();
    if (const QString missing = BuiltProgram::missingForLiveCapture(); !missing.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());
    QTemporaryDir dir;
    TestBrowser browser(row.browser, dir.filePath(QStringLiteral("browser")));
    if (!browser.installed())
        TRAWLIX_SKIP_UNLESS_CI(TestBrowser::name(row.browser).toStdString() << " is not installed");

    TestSite site(dir.filePath(QStringLiteral("site")));
    // Past the probe's smallest media (50000 bytes).
    ASSERT_TRUE(MediaFixture::makeVideoClip(site.path(QStringLiteral("clip.mp4")), 4, QStringLiteral("320x240")));
    const QByteArray served = site.read(QStringLiteral("clip.mp4"));
    ASSERT_GE(served.size(), 50000);
    ASSERT_TRUE(site.writePage(QStringLiteral("watch/index.html"), "A clip over TLS",
                               "<video src=\"/clip.mp4\" autoplay muted></video>"));
    ASSERT_TRUE(site.writeIcon(QStringLiteral("red")));
    site.useTls(QString::fromLatin1(row.protocol), row.http2);
    ASSERT_TRUE(site.start()) << site.error().toStdString();

    BuiltProgram trawlix(dir.filePath(QStringLiteral("trawlix")));
    trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    trawlix.setSetting(QStringLiteral("accelerator"), QStringLiteral("true"));
    // A plain copy into the library, so its bytes can be compared with the server's.
    trawlix.setSetting(QStringLiteral("repairvideos"), QStringLiteral("false"));
    trawlix.setEnvironment(QStringLiteral("CURL_CA_BUNDLE"), site.authority());
    trawlix.traceOn();
    const QString keyLog = dir.filePath(QStringLiteral("keys.log"));
    ASSERT_TRUE(trawlix.startCapture({QStringLiteral("--keylog"), keyLog})) << trawlix.output().toStdString();

    browser.setKeyLog(keyLog);
    browser.setAuthority(site.authority());
    ASSERT_TRUE(browser.load(site.url(QStringLiteral("/watch/index.html")), 4000)) << browser.error().toStdString();
    const QString clip = site.url(QStringLiteral("/clip.mp4"));
    const bool placed = trawlix.waitForDownload(clip, 60000);
    trawlix.stop();
    const QByteArray output = trawlix.output();
    ASSERT_TRUE(placed) << output.toStdString();

    EXPECT_EQ(BuiltProgram::downloadRows(output, clip), 1) << output.toStdString();
    const QString base = BuiltProgram::downloadBase(output, clip);
    ASSERT_FALSE(base.isEmpty()) << output.toStdString();
    const QByteArray stored = trawlix.readData(QStringLiteral("Videos/") + base + QStringLiteral(".mp4"));
    EXPECT_EQ(stored.size(), served.size()) << output.toStdString();
    EXPECT_TRUE(stored == served) << "the library file is not the server's clip";
    EXPECT_TRUE(output.contains("library: A clip over TLS\t")) << output.toStdString();

    // The site's icon, fetched over HTTPS, and the library row's small icon made from it.
    const QString host = QStringLiteral("127.0.0.1:%1").arg(site.port());
    EXPECT_TRUE(trawlix.readData(QStringLiteral("FavIcons/") + host) == site.read(QStringLiteral("favicon.ico")))
        << "the icon cache does not hold the site's icon\n"
        << output.toStdString();
    const QImage small(trawlix.data(QStringLiteral("16x16/") + base + QStringLiteral(".bmp")));
    ASSERT_FALSE(small.isNull()) << "no small icon for the library row";
    const QColor middle = small.pixelColor(8, 8);
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.green(), 60);
    EXPECT_LT(middle.blue(), 60);
}

INSTANTIATE_TEST_SUITE_P(Browsers, HttpsEndToEnd, httpsCases(), httpsCaseName);

} // namespace
