#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/xattr.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList libraryMp3s(const QString& videos)
{
    QStringList files;
    for (const QString& name : QDir(videos).entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name))
        files << videos + name;
    return files;
}

// Only 127.0.0.1 is ever asked: no sign-in, updates, safe browsing, metrics or suggestions.
QStringList chromiumArguments(const QString& profile, const QString& page)
{
    return {QStringLiteral("--headless=new"),
            QStringLiteral("--no-sandbox"),
            QStringLiteral("--user-data-dir=") + profile,
            QStringLiteral("--autoplay-policy=no-user-gesture-required"),
            QStringLiteral("--mute-audio"),
            QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
            QStringLiteral("--disable-default-apps"),
            QStringLiteral("--disable-extensions"),
            QStringLiteral("--disable-domain-reliability"),
            QStringLiteral("--disable-client-side-phishing-detection"),
            QStringLiteral("--disable-breakpad"),
            QStringLiteral("--disable-features=MediaRouter,OptimizationHints,Translate,NetworkTimeServiceQuerying"),
            QStringLiteral("--metrics-recording-only"),
            QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"),
            QStringLiteral("--proxy-server=direct://"),
            page};
}

// Preferences that keep Firefox on 127.0.0.1: every other address goes to a closed local
// port, and the services that would call home are off.
const char* const FirefoxPrefs = R"(user_pref("network.proxy.type", 1);
user_pref("network.proxy.http", "127.0.0.1");
user_pref("network.proxy.http_port", 9);
user_pref("network.proxy.ssl", "127.0.0.1");
user_pref("network.proxy.ssl_port", 9);
user_pref("network.proxy.share_proxy_settings", true);
user_pref("network.proxy.socks_remote_dns", true);
user_pref("network.proxy.no_proxies_on", "127.0.0.1");
user_pref("network.proxy.allow_hijacking_localhost", false);
user_pref("network.trr.mode", 5);
user_pref("network.dns.disablePrefetch", true);
user_pref("network.prefetch-next", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("app.update.enabled", false);
user_pref("app.update.auto", false);
user_pref("app.normandy.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("extensions.getAddons.cache.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("toolkit.telemetry.unified", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.newtabpage.enabled", false);
user_pref("browser.search.update", false);
user_pref("browser.region.update.enabled", false);
user_pref("browser.region.network.url", "");
user_pref("services.settings.server", "http://127.0.0.1:9/");
user_pref("media.autoplay.default", 0);
user_pref("media.autoplay.blocking_policy", 0);
user_pref("media.gmp-manager.updateEnabled", false);
user_pref("browser.cache.disk.enable", true);
user_pref("browser.cache.disk.smart_size.enabled", false);
user_pref("browser.cache.disk.capacity", 1048576);
)";

struct Browser
{
    QString program;
    QStringList arguments;
    QString entries; // the cache folder the entry lands in
};

enum class Kind
{
    Chromium,
    Firefox
};

// A real browser plays an MP3 page from nginx with its cache under a temporary
// $XDG_CACHE_HOME; `trawlix --headless` finds the song in the cache entry, copies the body into
// "Videos/" as ".mp3" (exactly the served bytes) and titles it from its tags.
void takeSongFromBrowserCache(Kind kind)
{
    const QString program = QStandardPaths::findExecutable(kind == Kind::Chromium ? QStringLiteral("chromium")
                                                                                  : QStringLiteral("firefox-esr"));
    if (program.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("the browser is not installed");
    if (const QString missing = BuiltProgram::missingForLiveCapture(); !missing.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());

    QTemporaryDir root;
    BuiltProgram trawlix(root.filePath(QStringLiteral("trawlix")));
    trawlix.traceOn();
    const QString www = root.filePath(QStringLiteral("www"));
    const QString home = trawlix.homeDir();
    const QString config = trawlix.configDir();
    const QString cache = trawlix.cacheDir();
    QDir().mkpath(www);
    QDir().mkpath(cache);

    // 40 s at 128 kbit/s: past the 512 KiB a song needs, with ID3 tags.
    const QString song = www + QStringLiteral("/song.mp3");
    ASSERT_TRUE(MediaFixture::make(song, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                          QStringLiteral("sine=frequency=523:duration=40"), QStringLiteral("-b:a"),
                                          QStringLiteral("128k"), QStringLiteral("-metadata"),
                                          QStringLiteral("title=Loopback Song"), QStringLiteral("-metadata"),
                                          QStringLiteral("artist=The Caches")}));
    const QByteArray served = readFile(song);
    ASSERT_GT(served.size(), 600000);
    {
        QFile page(www + QStringLiteral("/index.html"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><html><body><audio src=\"song.mp3\" autoplay preload=\"auto\"></audio>"
                   "</body></html>\n");
    }
    NginxServer nginx(www);
    if (!nginx.start())
        TRAWLIX_SKIP_UNLESS_CI("nginx could not start: " << nginx.error().toStdString());
    const QString url = nginx.url(QStringLiteral("/index.html"));

    // Profiles in the browsers' usual places keep their caches under $XDG_CACHE_HOME.
    Browser browser{program, {}, {}};
    if (kind == Kind::Chromium) {
        browser.arguments = chromiumArguments(config + QStringLiteral("/chromium"), url);
        browser.entries = cache + QStringLiteral("/chromium/Default/Cache/Cache_Data/");
    } else {
        const QString profile = home + QStringLiteral("/.mozilla/firefox/trawlix.default-esr");
        QDir().mkpath(profile);
        QFile prefs(profile + QStringLiteral("/user.js"));
        ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
        prefs.write(FirefoxPrefs);
        prefs.close();
        browser.arguments = {QStringLiteral("--headless"), QStringLiteral("--no-remote"), QStringLiteral("-profile"),
                             profile, url};
        browser.entries = cache + QStringLiteral("/mozilla/firefox/trawlix.default-esr/cache2/entries/");
    }

    // A first start seeds the settings (music from caches and every browser are on by default).
    ASSERT_EQ(trawlix.run({QStringLiteral("--list")}, 30000).exitCode, 0);
    ASSERT_EQ(trawlix.setting(QStringLiteral("getmusicfromcache")), QStringLiteral("true"));
    ASSERT_EQ(trawlix.setting(QStringLiteral("chrome")), QStringLiteral("true"));
    ASSERT_EQ(trawlix.setting(QStringLiteral("firefox")), QStringLiteral("true"));
    // The capture on lo sees the song's request too; only the cache may bring it here.
    trawlix.setSetting(QStringLiteral("downloadhttpmusic"), QStringLiteral("false"));
    ASSERT_TRUE(trawlix.startCapture()) << trawlix.output().constData();

    QProcess player;
    player.setProcessEnvironment(trawlix.environment());
    player.setProcessChannelMode(QProcess::MergedChannels);
    player.start(browser.program, browser.arguments);
    ASSERT_TRUE(player.waitForStarted(10000));

    const QString videos = trawlix.data(QStringLiteral("Videos/"));
    QStringList files;
    // Listed once taken; the follower completes the copy should the browser still be writing.
    trawlix.waitFor(
        [&](const QByteArray& output) {
            files = libraryMp3s(videos);
            return output.contains("library: ") && files.size() == 1 && readFile(files[0]) == served;
        },
        60000);
    player.terminate();
    if (!player.waitForFinished(10000))
        player.kill();
    trawlix.stop(10000);
    const QByteArray output = trawlix.output();

    ASSERT_EQ(files.size(), 1) << output.constData();
    EXPECT_TRUE(readFile(files[0]) == served)
        << "library copy " << QFileInfo(files[0]).size() << " bytes, served " << served.size() << "\n"
        << output.constData();
    EXPECT_TRUE(output.contains("library: The Caches - Loopback Song")) << output.constData();

    // The cache entry the song came from carries the processed mark.
    bool marked = false;
    for (const QString& name : QDir(browser.entries).entryList(QDir::Files)) {
        char mark[8] = {};
        const QByteArray path = QFile::encodeName(browser.entries + name);
        if (::getxattr(path.constData(), "user.trawlix.title", mark, sizeof mark - 1) == 1 && mark[0] == '1')
            marked = true;
    }
    EXPECT_TRUE(marked) << "no cache entry marked in " << browser.entries.toStdString();
}

TEST(HeadlessCacheMusic, ChromiumCacheSongReachesTheLibrary)
{
    takeSongFromBrowserCache(Kind::Chromium);
}

TEST(HeadlessCacheMusic, FirefoxCacheSongReachesTheLibrary)
{
    takeSongFromBrowserCache(Kind::Firefox);
}

} // namespace
