// `trawlix --download-link` end to end: the built program downloads from a local nginx with
// yt-dlp, prints its progress and imports the file before it exits, or fails with the tool's
// error line.
#include "app/CommandLine.h"
#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

CommandLine parse(const QStringList& words)
{
    return CommandLine::parse(QStringList{QStringLiteral("trawlix")} + words);
}

TEST(DownloadLinkCommandLine, OptionsAndMistakes)
{
    const CommandLine line =
        parse({QStringLiteral("--download-link"), QStringLiteral("https://example.org/v"),
               QStringLiteral("--audio-only"), QStringLiteral("--playlist-items"), QStringLiteral("1,3-5")});
    EXPECT_TRUE(line.error.isEmpty()) << line.error.toStdString();
    EXPECT_EQ(line.downloadLink, QStringLiteral("https://example.org/v"));
    EXPECT_TRUE(line.audioOnly);
    EXPECT_EQ(line.playlistItems, QStringLiteral("1,3-5"));
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--download-link")}, QStringList{QStringLiteral("--download-link"), QString()},
          QStringList{QStringLiteral("--audio-only")},
          QStringList{QStringLiteral("--playlist-items"), QStringLiteral("1")},
          QStringList{QStringLiteral("--download-link"), QStringLiteral("http://a/"),
                      QStringLiteral("--playlist-items"), QStringLiteral("1;rm")}})
        EXPECT_FALSE(parse(wrong).error.isEmpty()) << wrong.join(QLatin1Char(' ')).toStdString();
}

class DownloadLinkCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        if (ToolRunner::findTool(QStringLiteral("yt-dlp")).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("yt-dlp is not installed");
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        m_www = m_dir.filePath(QStringLiteral("www"));
        ASSERT_TRUE(QDir().mkpath(m_www));
        m_server = std::make_unique<NginxServer>(m_www);
        m_server->setServerDirectives(
            QStringLiteral("        location /slow/ { limit_rate 16k; alias %1/; }\n").arg(m_www));
        if (!m_server->isAvailable())
            TRAWLIX_SKIP_UNLESS_CI("nginx is not installed");
        ASSERT_TRUE(m_server->start()) << m_server->error().toStdString();
    }

    // Runs the program; returns its exit code with standard output and error.
    int run(const QStringList& arguments, QString& out, QString& err) const
    {
        const BuiltProgram::Run run = m_trawlix.run(arguments);
        EXPECT_TRUE(run.finished);
        out = QString::fromUtf8(run.out);
        err = QString::fromUtf8(run.err);
        return run.exitCode;
    }

    QString data() const { return m_trawlix.dataDir(); }

    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.path(), BuiltProgram::Mode::Desktop};
    QString m_www;
    std::unique_ptr<NginxServer> m_server;
};

TEST_F(DownloadLinkCommand, DownloadsShowsProgressAndImportsBeforeExiting)
{
    ASSERT_TRUE(MediaFixture::makeClip(m_www + QStringLiteral("/clip.mp4"), 3));
    QString out;
    QString err;
    const int code =
        run({QStringLiteral("--download-link"), m_server->url(QStringLiteral("/slow/clip.mp4"))}, out, err);
    ASSERT_EQ(code, 0) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\nprogress: "))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\nlibrary: clip\t"))) << out.toStdString();
    const QStringList library = QDir(data() + QStringLiteral("/Videos")).entryList(QDir::Files);
    ASSERT_EQ(library.size(), 1);
    EXPECT_TRUE(library.at(0).endsWith(QStringLiteral(".mp4")));
    EXPECT_TRUE(QDir(data() + QStringLiteral("/TempDownloads"))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
}

TEST_F(DownloadLinkCommand, FailsWithTheToolsErrorLine)
{
    struct Row
    {
        QString address;
        const char* line;
    };
    const Row rows[] = {
        {m_server->url(QStringLiteral("/missing.mp4")), "HTTP Error 404"},
        {QStringLiteral("file:///etc/passwd"), "http"},
    };
    for (const Row& row : rows) {
        QString out;
        QString err;
        EXPECT_NE(run({QStringLiteral("--download-link"), row.address}, out, err), 0);
        EXPECT_TRUE(err.startsWith(QStringLiteral("trawlix: "))) << err.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(row.line))) << err.toStdString();
        EXPECT_TRUE(QDir(data() + QStringLiteral("/Videos")).entryList(QDir::Files).isEmpty());
    }
}

} // namespace
