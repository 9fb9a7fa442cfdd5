// `cmake --install` into a temporary prefix: the program, its capture helper, the desktop entry,
// the icons, the metainfo, the Sonotrap plugin with its registration tool, the man pages and the
// licence, each checked with the tool a distribution checks it with. Then the Debian package:
// its fields, and (as root, or in CI) installed with dpkg and removed again, with the capture
// permission on the helper alone.
#include "support/ProcessStatus.h"
#include "support/SkipUnlessCi.h"
#include "support/TestProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ToolRun
{
    bool ok = false;
    QString output;
};

ToolRun run(const QString& program, const QStringList& arguments)
{
    const TestProcess::Result run = TestProcess::run(program, arguments, 120000, QProcess::MergedChannels);
    return {run.exitCode == 0, QString::fromUtf8(run.out)};
}

class Install : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_prefix = std::make_unique<QTemporaryDir>();
        s_installed = run(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(TRAWLIX_BINARY_DIR),
                                                    QStringLiteral("--prefix"), s_prefix->path()});
    }
    static void TearDownTestSuite() { s_prefix.reset(); }

    void SetUp() override
    {
        if (!QFileInfo::exists(QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix")))
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        ASSERT_TRUE(s_installed.ok) << s_installed.output.toStdString();
    }

    static QString path(const QString& relative) { return s_prefix->path() + QLatin1Char('/') + relative; }

    static std::unique_ptr<QTemporaryDir> s_prefix;
    static ToolRun s_installed;
};

std::unique_ptr<QTemporaryDir> Install::s_prefix;
ToolRun Install::s_installed;

TEST_F(Install, PutsEveryPieceWhereTheDesktopLooksForIt)
{
    const QStringList files = {
        QStringLiteral("bin/trawlix"),
        QStringLiteral("bin/sonotrap-register"),
        QStringLiteral("libexec/trawlix/trawlix-capture"),
        QStringLiteral("share/doc/trawlix/copyright"),
        QStringLiteral("share/applications/org.trawlix.Trawlix.desktop"),
        QStringLiteral("share/metainfo/org.trawlix.Trawlix.metainfo.xml"),
        QStringLiteral("share/icons/hicolor/scalable/apps/trawlix.svg"),
        QStringLiteral("share/man/man1/trawlix.1.gz"),
        QStringLiteral("share/man/man1/sonotrap-register.1.gz"),
        QStringLiteral("share/alsa/alsa.conf.d/50-sonotrap.conf"),
    };
    for (const QString& file : files)
        EXPECT_TRUE(QFileInfo(path(file)).isFile()) << file.toStdString();
    for (const char* size : {"16", "32", "48", "64", "128", "256"}) {
        const QString icon = QStringLiteral("share/icons/hicolor/%1x%1/apps/trawlix.png").arg(QLatin1String(size));
        QFile file(path(icon));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << icon.toStdString();
        const QByteArray head = file.read(24);
        // PNG signature, then the IHDR chunk with the width and height.
        ASSERT_TRUE(head.startsWith("\x89PNG\r\n\x1a\n")) << icon.toStdString();
        const auto dimension = [&](int at) {
            return (quint8(head[at]) << 24) | (quint8(head[at + 1]) << 16) | (quint8(head[at + 2]) << 8) |
                   quint8(head[at + 3]);
        };
        EXPECT_EQ(dimension(16), QByteArray(size).toInt()) << icon.toStdString();
        EXPECT_EQ(dimension(20), QByteArray(size).toInt()) << icon.toStdString();
    }
    // The plugin in a folder named like ALSA's own (lib/<arch>/alsa-lib), below the prefix.
    bool found = false;
    for (QDirIterator it(path(QStringLiteral("lib")), {QStringLiteral("libasound_module_pcm_sonotrap.so")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        found = found || QFileInfo(it.next()).dir().dirName() == QLatin1String("alsa-lib");
    EXPECT_TRUE(found) << "the Sonotrap plugin is missing";
}

TEST_F(Install, DesktopEntryAndMetainfoPassTheirValidators)
{
    const QString desktopValidate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (desktopValidate.isEmpty() || appstream.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("desktop-file-validate and appstreamcli are needed (desktop-file-utils, appstream)");
    const ToolRun desktop =
        run(desktopValidate, {path(QStringLiteral("share/applications/org.trawlix.Trawlix.desktop"))});
    EXPECT_TRUE(desktop.ok) << desktop.output.toStdString();
    EXPECT_TRUE(desktop.output.trimmed().isEmpty()) << "no hints either: " << desktop.output.toStdString();
    const ToolRun metainfo = run(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                             path(QStringLiteral("share/metainfo/org.trawlix.Trawlix.metainfo.xml"))});
    EXPECT_TRUE(metainfo.ok) << metainfo.output.toStdString();

    // The entry starts the program it names, and names the installed icon.
    QFile entry(path(QStringLiteral("share/applications/org.trawlix.Trawlix.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("\nExec=trawlix\n"));
    EXPECT_TRUE(text.contains("\nIcon=trawlix\n"));
}

// Every option the command line reads is in the man page, the ones added later included.
TEST_F(Install, ManPageDocumentsEveryOption)
{
    QFile source(QStringLiteral(TRAWLIX_SOURCE_DIR "/src/app/CommandLine.cpp"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QString code = QString::fromUtf8(source.readAll());
    // Installed compressed, as man reads it; the text must be the page itself.
    const ToolRun unpacked =
        run(QStringLiteral("gzip"), {QStringLiteral("-dc"), path(QStringLiteral("share/man/man1/trawlix.1.gz"))});
    ASSERT_TRUE(unpacked.ok) << unpacked.output.toStdString();
    const QString man = unpacked.output;
    QFile page(QStringLiteral(TRAWLIX_SOURCE_DIR "/packaging/trawlix.1"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    ASSERT_EQ(man, QString::fromUtf8(page.readAll())) << "the installed page is the one in the tree";
    QStringList options;
    const QRegularExpression literal(QStringLiteral(R"re("(--[a-z][a-z0-9-]*)")re"));
    for (auto match = literal.globalMatch(code); match.hasNext();)
        options << match.next().captured(1);
    options.removeDuplicates();
    ASSERT_GE(options.size(), 8) << "the options are read as literals in CommandLine.cpp";
    for (const QString& option : std::as_const(options)) {
        const QString roff = QString(option).replace(QLatin1Char('-'), QStringLiteral("\\-"));
        EXPECT_TRUE(man.contains(QStringLiteral(".BI ") + roff) || man.contains(QStringLiteral(".B ") + roff))
            << option.toStdString() << " has no entry in trawlix.1";
    }
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty())
        return;
    const ToolRun checked = run(groff, {QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z"),
                                        QStringLiteral(TRAWLIX_SOURCE_DIR "/packaging/trawlix.1")});
    EXPECT_TRUE(checked.ok && checked.output.isEmpty()) << checked.output.toStdString();
}

// The installed program finds its helper at ../libexec/trawlix/ from its own folder.
TEST_F(Install, TheHelperSitsWhereTheProgramLooksForIt)
{
    const QFileInfo helper(path(QStringLiteral("bin/../libexec/trawlix/trawlix-capture")));
    EXPECT_TRUE(helper.isExecutable());
    // It links libpcap and the C library, nothing of Qt.
    const ToolRun libraries = run(QStringLiteral("ldd"), {helper.absoluteFilePath()});
    ASSERT_TRUE(libraries.ok) << libraries.output.toStdString();
    EXPECT_TRUE(libraries.output.contains(QLatin1String("libpcap"))) << libraries.output.toStdString();
    EXPECT_FALSE(libraries.output.contains(QLatin1String("Qt"))) << libraries.output.toStdString();
    // (The sanitizers' own runtime brings the C++ library in a sanitizer build.)
    if (!libraries.output.contains(QLatin1String("libasan")) && !libraries.output.contains(QLatin1String("libubsan"))) {
        EXPECT_FALSE(libraries.output.contains(QLatin1String("libstdc++"))) << libraries.output.toStdString();
    }
}

// ---- The Debian package ----------------------------------------------------------------------

class Package : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        s_built = run(QStringLiteral("cpack"),
                      {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                       QStringLiteral(TRAWLIX_BINARY_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), s_dir->path()});
        const QStringList debs = QDir(s_dir->path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        if (debs.size() == 1)
            s_deb = s_dir->filePath(debs.first());
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        if (!QFileInfo::exists(QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix")))
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("dpkg-deb is needed (dpkg)");
        ASSERT_FALSE(s_deb.isEmpty()) << s_built.output.toStdString();
    }

    static QString field(const QString& name)
    {
        return run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), s_deb, name}).output.trimmed();
    }

    static std::unique_ptr<QTemporaryDir> s_dir;
    static ToolRun s_built;
    static QString s_deb;
};

std::unique_ptr<QTemporaryDir> Package::s_dir;
ToolRun Package::s_built;
QString Package::s_deb;

TEST_F(Package, NamesAMaintainerAddressAndCarriesTheLicence)
{
    const QString maintainer = field(QStringLiteral("Maintainer"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^[^<>@]+ <[^<>@\s]+@[^<>@\s]+>$)")).match(maintainer).hasMatch())
        << maintainer.toStdString();

    const ToolRun copyright =
        run(QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("dpkg-deb --fsys-tarfile \"$0\" | tar -xO ./usr/share/doc/trawlix/copyright"), s_deb});
    ASSERT_TRUE(copyright.ok) << copyright.output.toStdString();
    const QRegularExpression licenceLine(QStringLiteral(R"(^License: (\S+)$)"), QRegularExpression::MultilineOption);
    const QString licence = licenceLine.match(copyright.output).captured(1);
    EXPECT_TRUE(copyright.output.startsWith(
        QLatin1String("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
    EXPECT_EQ(licence, QStringLiteral("GPL-3.0-or-later"));
    EXPECT_TRUE(copyright.output.contains(QLatin1String("/usr/share/common-licenses/GPL-3")));
    // The software centre shows the same licence.
    QFile metainfo(QStringLiteral(TRAWLIX_SOURCE_DIR "/packaging/org.trawlix.Trawlix.metainfo.xml"));
    ASSERT_TRUE(metainfo.open(QIODevice::ReadOnly));
    EXPECT_TRUE(metainfo.readAll().contains("<project_license>" + licence.toUtf8() + "</project_license>"));

    // postinst grants capture to the helper, by the path the package installs it at, and to
    // nothing else.
    const ToolRun postinst = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), s_deb, QStringLiteral("postinst")});
    ASSERT_TRUE(postinst.ok) << postinst.output.toStdString();
    EXPECT_TRUE(postinst.output.contains(QLatin1String("helper=/usr/libexec/trawlix/trawlix-capture\n")));
    EXPECT_EQ(postinst.output.count(QLatin1String("setcap cap_net_raw,cap_net_admin+ep \"$helper\"")), 1);
    EXPECT_FALSE(postinst.output.contains(QLatin1String("/usr/bin/trawlix"))) << postinst.output.toStdString();
    const ToolRun contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), s_deb});
    EXPECT_TRUE(contents.output.contains(QLatin1String("./usr/libexec/trawlix/trawlix-capture\n")));
}

// The package installed for real: only the helper carries a capability, the program runs as an
// ordinary user (with a plugin path of that user's choosing) holding none, and still captures
// through the helper. Then the package is removed and purged again.
TEST_F(Package, InstalledOnlyTheHelperCarriesCapabilitiesAndTheProgramRunsWithout)
{
    if (geteuid() != 0)
        TRAWLIX_SKIP_UNLESS_CI("installing a package needs root");
    if (run(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("trawlix")}).ok)
        GTEST_SKIP() << "a trawlix package is installed on this machine already; the test leaves it alone";
    const ToolRun installed = run(QStringLiteral("dpkg"), {QStringLiteral("-i"), s_deb});
    struct Removal
    {
        ~Removal() { run(QStringLiteral("dpkg"), {QStringLiteral("--purge"), QStringLiteral("trawlix")}); }
    } removal;
    if (!installed.ok && installed.output.contains(QLatin1String("dependency problems")))
        TRAWLIX_SKIP_UNLESS_CI("the package's dependencies are not installed: " << installed.output.toStdString());
    ASSERT_TRUE(installed.ok) << installed.output.toStdString();

    const QString helper = QStringLiteral("/usr/libexec/trawlix/trawlix-capture");
    const ToolRun files = run(QStringLiteral("dpkg"), {QStringLiteral("-L"), QStringLiteral("trawlix")});
    ASSERT_TRUE(files.ok);
    QStringList withCapabilities;
    for (const QString& file : files.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!QFileInfo(file).isFile() || QFileInfo(file).isSymLink())
            continue;
        const ToolRun caps = run(QStringLiteral("getcap"), {file});
        if (!caps.output.trimmed().isEmpty())
            withCapabilities << caps.output.trimmed();
    }
    ASSERT_EQ(withCapabilities.size(), 1) << withCapabilities.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(withCapabilities.first().startsWith(helper + QLatin1Char(' ')));
    EXPECT_TRUE(withCapabilities.first().contains(QLatin1String("cap_net_admin,cap_net_raw=ep")));

    // The program as "nobody", with QT_PLUGIN_PATH set: no capability in the process at all.
    QTemporaryDir home;
    ASSERT_EQ(chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
    ASSERT_EQ(chown(QFile::encodeName(home.path()).constData(), 65534, 65534), 0);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), home.path());
    QProcess trawlix;
    trawlix.setProcessEnvironment(environment);
    trawlix.start(QStringLiteral("setpriv"),
                  {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                   QStringLiteral("--"), QStringLiteral("/usr/bin/trawlix"), QStringLiteral("--headless"),
                   QStringLiteral("--interface"), QStringLiteral("lo"), QStringLiteral("--data-dir"),
                   home.filePath(QStringLiteral("data"))});
    ASSERT_TRUE(trawlix.waitForStarted());
    const qint64 pid = trawlix.processId();
    // Its helper appears as soon as the capture starts.
    qint64 child = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QList<qint64> helpers = ProcessStatus::children(pid, "trawlix-capture");
            child = helpers.isEmpty() ? 0 : helpers.first();
            return child > 0;
        },
        15000))
        << "no capture helper was started";
    const auto status = [](qint64 process) {
        QFile file(QStringLiteral("/proc/%1/status").arg(process));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray programStatus = status(pid);
    EXPECT_TRUE(programStatus.contains("\nCapEff:\t0000000000000000\n")) << programStatus.toStdString();
    EXPECT_TRUE(programStatus.contains("\nCapPrm:\t0000000000000000\n")) << programStatus.toStdString();
    // The helper starts with the capability and drops it once its adapter is open.
    if (child > 0) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return status(child).contains("\nCapPrm:\t0000000000000000\n"); }, 5000))
            << status(child).toStdString();
        EXPECT_TRUE(status(child).contains("\nCapEff:\t0000000000000000\n")) << status(child).toStdString();
        EXPECT_TRUE(status(child).contains("\nNoNewPrivs:\t1\n")) << status(child).toStdString();
    }
    ::kill(pid_t(pid), SIGTERM);
    EXPECT_TRUE(trawlix.waitForFinished(10000));
    const QString errors = QString::fromUtf8(trawlix.readAllStandardError());
    EXPECT_FALSE(errors.contains(QLatin1String("setcap"))) << errors.toStdString();

    const ToolRun purged = run(QStringLiteral("dpkg"), {QStringLiteral("--purge"), QStringLiteral("trawlix")});
    EXPECT_TRUE(purged.ok) << purged.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(helper));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/usr/bin/trawlix")));
}

} // namespace
