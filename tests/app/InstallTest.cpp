// `cmake --install` into a temporary prefix: the program, the desktop entry, the icons, the
// metainfo, the Sonotrap plugin with its registration tool and the man pages, each checked
// with the tool a distribution checks it with.
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun
{
    bool ok = false;
    QString output;
};

ToolRun run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ToolRun result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    result.output = QString::fromUtf8(process.readAll());
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return result;
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

} // namespace
