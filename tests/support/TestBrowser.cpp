#include "support/TestBrowser.h"

#include "support/XdgOpenStub.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString program(TestBrowser::Kind kind)
{
    return kind == TestBrowser::Kind::Chromium ? QStringLiteral("chromium") : QStringLiteral("firefox-esr");
}

// Preferences of a Firefox test profile: nothing starts that would reach beyond the page.
constexpr const char* kFirefoxPreferences[] = {
    "app.update.enabled\", false",
    "app.update.auto\", false",
    "app.normandy.enabled\", false",
    "app.shield.optoutstudies.enabled\", false",
    "toolkit.telemetry.enabled\", false",
    "toolkit.telemetry.unified\", false",
    "toolkit.telemetry.server\", \"\"",
    "datareporting.healthreport.uploadEnabled\", false",
    "datareporting.policy.dataSubmissionEnabled\", false",
    "browser.safebrowsing.malware.enabled\", false",
    "browser.safebrowsing.phishing.enabled\", false",
    "browser.safebrowsing.downloads.enabled\", false",
    "browser.safebrowsing.provider.google4.updateURL\", \"\"",
    "browser.safebrowsing.provider.google.updateURL\", \"\"",
    "network.captive-portal-service.enabled\", false",
    "network.connectivity-service.enabled\", false",
    "network.trr.mode\", 5",
    "network.dns.disablePrefetch\", true",
    "network.prefetch-next\", false",
    "network.http.speculative-parallel-limit\", 0",
    "network.http.http3.enable\", false",
    "network.dns.echconfig.enabled\", false",
    "browser.newtabpage.enabled\", false",
    "browser.startup.homepage_override.mstone\", \"ignore\"",
    "browser.shell.checkDefaultBrowser\", false",
    "browser.aboutwelcome.enabled\", false",
    "browser.search.update\", false",
    "browser.region.network.url\", \"\"",
    "extensions.update.enabled\", false",
    "extensions.getAddons.cache.enabled\", false",
    "extensions.systemAddon.update.enabled\", false",
    "services.settings.server\", \"\"",
    "security.OCSP.enabled\", 0",
    "security.remote_settings.crlite_filters.enabled\", false",
    "media.autoplay.default\", 0",
};

} // namespace

TestBrowser::TestBrowser(Kind kind, QString folder)
    : m_kind(kind)
    , m_folder(std::move(folder))
{}

QString TestBrowser::name(Kind kind)
{
    return program(kind);
}

bool TestBrowser::installed() const
{
    if (QStandardPaths::findExecutable(program(m_kind)).isEmpty())
        return false;
    return m_kind == Kind::Chromium || !QStandardPaths::findExecutable(QStringLiteral("certutil")).isEmpty();
}

QStringList TestBrowser::arguments(const QString& url, int budgetMs) const
{
    const QString profile = m_folder + QStringLiteral("/profile");
    if (m_kind == Kind::Firefox)
        return {QStringLiteral("--headless"), QStringLiteral("--no-remote"), QStringLiteral("--profile"), profile, url};
    return {QStringLiteral("--headless=new"),
            QStringLiteral("--no-sandbox"),
            QStringLiteral("--disable-gpu"),
            QStringLiteral("--user-data-dir=") + profile,
            QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
            QStringLiteral("--disable-default-apps"),
            QStringLiteral("--disable-extensions"),
            QStringLiteral("--disable-domain-reliability"),
            QStringLiteral("--disable-client-side-phishing-detection"),
            QStringLiteral("--metrics-recording-only"),
            QStringLiteral("--disable-features=OptimizationHints,MediaRouter,Translate,AutofillServerCommunication,"
                           "EncryptedClientHello"),
            QStringLiteral("--disable-quic"),
            QStringLiteral("--ignore-certificate-errors"),
            QStringLiteral("--autoplay-policy=no-user-gesture-required"),
            QStringLiteral("--virtual-time-budget=%1").arg(budgetMs),
            QStringLiteral("--dump-dom"),
            url};
}

bool TestBrowser::prepareFirefoxProfile()
{
    const QString profile = m_folder + QStringLiteral("/profile");
    if (!QDir().mkpath(profile)) {
        m_error = QStringLiteral("cannot make ") + profile;
        return false;
    }
    QFile preferences(profile + QStringLiteral("/user.js"));
    if (!preferences.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write the Firefox preferences");
        return false;
    }
    for (const char* line : kFirefoxPreferences)
        preferences.write(QByteArray("user_pref(\"") + line + ");\n");
    preferences.close();
    if (m_authority.isEmpty())
        return true;
    const QString store = QStringLiteral("sql:") + profile;
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("-N"), QStringLiteral("-d"), store, QStringLiteral("--empty-password")},
          QStringList{QStringLiteral("-A"), QStringLiteral("-d"), store, QStringLiteral("-n"),
                      QStringLiteral("trawlix-test-authority"), QStringLiteral("-t"), QStringLiteral("C,,"),
                      QStringLiteral("-i"), m_authority}}) {
        QProcess certutil;
        certutil.setProcessChannelMode(QProcess::MergedChannels);
        certutil.start(QStringLiteral("certutil"), arguments);
        if (!certutil.waitForFinished(30000) || certutil.exitCode() != 0) {
            m_error = QStringLiteral("certutil: ") + QString::fromLocal8Bit(certutil.readAll());
            return false;
        }
    }
    return true;
}

bool TestBrowser::load(const QString& url, int budgetMs)
{
    if (m_kind == Kind::Firefox && !QFileInfo::exists(m_folder + QStringLiteral("/profile/user.js")) &&
        !prepareFirefoxProfile())
        return false;
    QProcess browser;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!m_keyLog.isEmpty())
        environment.insert(QStringLiteral("SSLKEYLOGFILE"), m_keyLog);
    environment.insert(QStringLiteral("MOZ_HEADLESS"), QStringLiteral("1"));
    environment.insert(QStringLiteral("HOME"), m_folder);
    environment.insert(QStringLiteral("no_proxy"), QStringLiteral("*"));
    environment.remove(QStringLiteral("DISPLAY"));
    if (!XdgOpenStub::install(m_folder + QStringLiteral("/bin"), environment)) {
        m_error = QStringLiteral("cannot write the xdg-open stub");
        return false;
    }
    browser.setProcessEnvironment(environment);
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(program(m_kind), arguments(url, budgetMs));
    if (!browser.waitForStarted(10000)) {
        m_error = program(m_kind) + QStringLiteral(" did not start: ") + browser.errorString();
        return false;
    }
    // Chromium ends by itself once its virtual time is spent. Firefox runs until it is ended:
    // it gets the budget from its first secret on (its start takes seconds on a busy machine).
    int wall = budgetMs + 30000;
    if (m_kind == Kind::Firefox) {
        const QDeadlineTimer started(30000);
        while (!started.hasExpired() && QFileInfo(m_keyLog).size() < 200 && browser.state() == QProcess::Running)
            browser.waitForFinished(100);
        wall = budgetMs;
    }
    if (!browser.waitForFinished(wall)) {
        browser.terminate();
        if (!browser.waitForFinished(5000)) {
            browser.kill();
            browser.waitForFinished(5000);
        }
    }
    return true;
}
