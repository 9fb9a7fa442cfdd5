// The link downloader end to end: yt-dlp's generic extractor against a local nginx, the job's
// files taken into the library by the link-download importer.
#include "LibraryFixture.h"

#include "library/LinkDownloadImporter.h"
#include "library/TagStore.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"
#include "tools/LinkDownloadJob.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTest>

#include <atomic>

namespace {

class LinkDownloadTest : public LibraryFixture
{
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        if (HasFatalFailure())
            return;
        if (ToolRunner::findTool(QStringLiteral("yt-dlp")).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("yt-dlp is not installed");
        m_www = dir() + QStringLiteral("www/");
        ASSERT_TRUE(QDir().mkpath(m_www));
        m_server = std::make_unique<NginxServer>(m_www);
        m_server->setServerDirectives(
            QStringLiteral("        location /slow/ { limit_rate 8k; alias %1; }\n").arg(m_www));
        if (!m_server->isAvailable())
            TRAWLIX_SKIP_UNLESS_CI("nginx is not installed");
        ASSERT_TRUE(m_server->start()) << m_server->error().toStdString();
        makeVideo(m_www + QStringLiteral("favicon-source.png"), 16, 16, 1,
                  {QStringLiteral("-frames:v"), QStringLiteral("1")});
        ASSERT_TRUE(QFile::rename(m_www + QStringLiteral("favicon-source.png"), m_www + QStringLiteral("favicon.ico")));
    }

    void writePage(const QString& name, const QString& body)
    {
        QFile page(m_www + name);
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(body.toUtf8());
    }

    // Runs a job to its end, keeping every window title it showed.
    LinkDownloadJob::Result download(const LinkCommand::Request& request, QStringList* captions = nullptr)
    {
        LinkDownloadJob job;
        QMutex mutex;
        QStringList shown;
        QObject::connect(
            &job, &LinkDownloadJob::progressChanged, &job,
            [&](const QString& caption, const QString&) {
                QMutexLocker lock(&mutex);
                shown << caption;
            },
            Qt::DirectConnection);
        job.start(request);
        const LinkDownloadJob::Result result = job.wait();
        if (captions)
            *captions = shown;
        return result;
    }

    QStringList downloadsLeft() const
    {
        return QDir(dir() + QStringLiteral("TempDownloads"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // Processes of the tools that name this test's folder on their command line.
    // Processes whose command line names this test's folder and, when given, starts with program.
    int toolProcessesLeft(const QByteArray& program = {}) const
    {
        int count = 0;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
            if (!pid.at(0).isDigit() || !cmdline.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = cmdline.readAll();
            if (!program.isEmpty() && !text.startsWith(program + '\0'))
                continue;
            if ((text.contains("yt-dlp") || text.contains("ffmpeg")) && text.contains(m_dir.path().toUtf8()))
                ++count;
        }
        return count;
    }

    QString m_www;
    std::unique_ptr<NginxServer> m_server;
};

TEST_F(LinkDownloadTest, MediaLinkEntersTheLibraryTitledFromItsNameWithThePageIcon)
{
    makeVideo(m_www + QStringLiteral("clip.mp4"), 160, 120, 2);
    const QString address = m_server->url(QStringLiteral("/clip.mp4"));
    QStringList captions;
    const LinkDownloadJob::Result result = download({address, false, {}}, &captions);
    ASSERT_EQ(result.code, LinkDownloadJob::Result::Code::Downloaded) << result.error.toStdString();
    ASSERT_EQ(result.files.size(), 1);
    EXPECT_TRUE(result.files.at(0).startsWith(QStringLiteral("clip~"))) << result.files.at(0).toStdString();
    EXPECT_TRUE(std::any_of(captions.cbegin(), captions.cend(), [](const QString& caption) {
        return caption.startsWith(QStringLiteral("100.0%"));
    })) << captions.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(LinkDownloadJob::pageOfFile(result.files.at(0)), address);
    EXPECT_EQ(downloadsLeft(), result.files) << "nothing unfinished stays beside the file";

    EXPECT_EQ(LinkDownloadImporter::pass(*m_context), 1);
    ASSERT_EQ(m_table.rowCount(), 1);
    const MediaRow row = m_table.rowAt(0);
    EXPECT_EQ(row.title, QStringLiteral("clip"));
    EXPECT_EQ(TagStore::read(row.path, QStringLiteral("author")), address);
    const QString host = QStringLiteral("127.0.0.1:") + QString::number(m_server->port());
    EXPECT_TRUE(QFileInfo(dir() + QStringLiteral("FavIcons/") + host).size() > 0) << "the page's site icon";
    EXPECT_TRUE(downloadsLeft().isEmpty());
}

TEST_F(LinkDownloadTest, LongTitleIsCutByBytesAndKeepsItsMarks)
{
    // 150 CJK characters are 450 bytes of UTF-8, far beyond the 255 bytes of a file name.
    const QString title(150, QChar(0x4E2D));
    makeVideo(m_www + QStringLiteral("clip.mp4"), 160, 120, 1);
    writePage(QStringLiteral("cjk.html"), QStringLiteral("<html><head><title>") + title +
                                              QStringLiteral("</title></head><body><video src=\"clip.mp4\"></video>"
                                                             "</body></html>"));
    const LinkDownloadJob::Result result = download({m_server->url(QStringLiteral("/cjk.html")), false, {}});
    ASSERT_EQ(result.code, LinkDownloadJob::Result::Code::Downloaded) << result.error.toStdString();
    ASSERT_EQ(result.files.size(), 1);
    const QString name = result.files.at(0);
    EXPECT_LE(name.toUtf8().size(), 255);
    const QString kept = LinkDownloadImporter::titleOf(name);
    EXPECT_LE(kept.toUtf8().size(), LinkCommand::MaxTitleBytes);
    EXPECT_GE(kept.size(), 50);
    EXPECT_TRUE(title.startsWith(kept)) << "cut between characters, never inside one";
    EXPECT_TRUE(name.endsWith(QStringLiteral(".mp4")));
    EXPECT_FALSE(LinkDownloadJob::pageOfFile(name).isEmpty()) << "the job mark after the \"~\" is whole";
    EXPECT_EQ(LinkDownloadImporter::importNames(*m_context, result.files), 1);
    ASSERT_EQ(m_table.rowCount(), 1);
    EXPECT_EQ(m_table.rowAt(0).title, kept);
}

TEST_F(LinkDownloadTest, PlaylistItemTwoImportsOnlyTheSecond)
{
    makeVideo(m_www + QStringLiteral("first.mp4"), 160, 120, 1);
    makeVideo(m_www + QStringLiteral("second.mp4"), 160, 120, 1);
    writePage(QStringLiteral("two.html"), QStringLiteral("<html><head><title>Two clips</title></head><body>"
                                                         "<video src=\"first.mp4\"></video>"
                                                         "<video src=\"second.mp4\"></video></body></html>"));
    const LinkDownloadJob::Result result =
        download({m_server->url(QStringLiteral("/two.html")), false, QStringLiteral("2")});
    ASSERT_EQ(result.code, LinkDownloadJob::Result::Code::Downloaded) << result.error.toStdString();
    ASSERT_EQ(result.files.size(), 1);
    EXPECT_EQ(LinkDownloadImporter::importNames(*m_context, result.files), 1);
    ASSERT_EQ(m_table.rowCount(), 1);
    // The generic extractor numbers the page's videos: the second one is "(2)".
    EXPECT_TRUE(m_table.rowAt(0).title.contains(QStringLiteral("(2)"))) << m_table.rowAt(0).title.toStdString();
}

TEST_F(LinkDownloadTest, AbortLeavesNoEntryNoPartialFileAndNoProcess)
{
    makeVideo(m_www + QStringLiteral("long.mp4"), 320, 240, 8, {QStringLiteral("-b:v"), QStringLiteral("800k")});
    ASSERT_GT(QFileInfo(m_www + QStringLiteral("long.mp4")).size(), 200000);
    LinkDownloadJob job;
    std::atomic<bool> progressing{false};
    QObject::connect(
        &job, &LinkDownloadJob::progressChanged, &job,
        [&](const QString& caption, const QString&) {
            if (caption.contains(QLatin1Char('%')))
                progressing = true;
        },
        Qt::DirectConnection);
    ASSERT_TRUE(job.start({m_server->url(QStringLiteral("/slow/long.mp4")), false, {}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(progressing); }, 30000)) << job.statusText().toStdString();
    const QString partial = dir() + QStringLiteral("TempDownloads/.partial-") + job.mark();
    EXPECT_FALSE(QDir(partial).entryList(QDir::Files).isEmpty()) << "the download was under way";
    job.abort();
    const LinkDownloadJob::Result result = job.wait();
    EXPECT_EQ(result.code, LinkDownloadJob::Result::Code::Aborted);
    EXPECT_TRUE(result.files.isEmpty());
    EXPECT_TRUE(downloadsLeft().isEmpty()) << downloadsLeft().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
    EXPECT_EQ(toolProcessesLeft(), 0);
    EXPECT_EQ(LinkDownloadImporter::pass(*m_context), 0);
    EXPECT_EQ(m_table.rowCount(), 0);
}

TEST_F(LinkDownloadTest, FailuresEndWithTheirReason)
{
    writePage(QStringLiteral("text.html"), QStringLiteral("<html><body>no media here</body></html>"));
    struct Row
    {
        LinkCommand::Request request;
        LinkDownloadJob::Result::Code code;
        const char* reason;
    };
    const Row rows[] = {
        {{m_server->url(QStringLiteral("/missing.mp4")), false, {}},
         LinkDownloadJob::Result::Code::Failed,
         "HTTP Error 404"},
        {{m_server->url(QStringLiteral("/text.html")), false, {}},
         LinkDownloadJob::Result::Code::Failed,
         "Unsupported URL"},
        // A port nobody listens on: the server is gone.
        {{QStringLiteral("http://127.0.0.1:9/clip.mp4"), false, {}},
         LinkDownloadJob::Result::Code::Failed,
         "Connection refused"},
        {{QStringLiteral("ftp://127.0.0.1/clip.mp4"), false, {}}, LinkDownloadJob::Result::Code::BadRequest, "http"},
        {{m_server->url(QStringLiteral("/a.mp4")), false, QStringLiteral("1,,x")},
         LinkDownloadJob::Result::Code::BadRequest,
         "playlist items"},
    };
    for (const Row& row : rows) {
        const LinkDownloadJob::Result result = download(row.request);
        EXPECT_EQ(result.code, row.code) << row.reason;
        EXPECT_TRUE(result.error.contains(QLatin1String(row.reason))) << result.error.toStdString();
    }
    EXPECT_TRUE(downloadsLeft().isEmpty());
}

TEST_F(LinkDownloadTest, AbortEndsTheToolAndTheFfmpegItStarted)
{
    // A yt-dlp that merges with ffmpeg and shrugs off SIGTERM: the whole group still goes.
    const QByteArray marker = QFile::encodeName(dir() + QStringLiteral("merge-output.mkv"));
    QFile tool(dir() + QStringLiteral("yt-dlp"));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\ntrap '' TERM\nffmpeg -nostdin -re -f lavfi -i sine -f null " + marker +
               " 2>/dev/null &\necho '[trawlix-progress] 10 100 NA NA NA'\nwhile :; do sleep 0.1; done\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    LinkDownloadJob job;
    ASSERT_TRUE(job.start({m_server->url(QStringLiteral("/clip.mp4")), false, {}}));
    // The tool's shell forks for every sleep, so only its ffmpeg is counted exactly.
    ASSERT_TRUE(QTest::qWaitFor([&] { return toolProcessesLeft("ffmpeg") == 1; }, 10000)) << "the tool's ffmpeg runs";
    job.abort();
    EXPECT_EQ(job.wait().code, LinkDownloadJob::Result::Code::Aborted);
    EXPECT_EQ(toolProcessesLeft(), 0);
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
}

TEST_F(LinkDownloadTest, ToolCrashIsReportedAsSuch)
{
    // A yt-dlp in the data folder comes first; this one dies halfway.
    QFile tool(dir() + QStringLiteral("yt-dlp"));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\necho '[trawlix-progress] 10 100 NA NA NA'\nkill -SEGV $$\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const LinkDownloadJob::Result result = download({m_server->url(QStringLiteral("/clip.mp4")), false, {}});
    EXPECT_EQ(result.code, LinkDownloadJob::Result::Code::Crashed);
    EXPECT_TRUE(result.error.contains(QStringLiteral("ended unexpectedly"))) << result.error.toStdString();
    EXPECT_TRUE(downloadsLeft().isEmpty());
}

TEST_F(LinkDownloadTest, MissingToolIsNamedWithItsPackage)
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir() + QStringLiteral("empty")));
    const LinkDownloadJob::Result result = download({m_server->url(QStringLiteral("/clip.mp4")), false, {}});
    qputenv("PATH", path);
    EXPECT_EQ(result.code, LinkDownloadJob::Result::Code::ToolMissing);
    EXPECT_TRUE(result.error.contains(QStringLiteral("install yt-dlp"))) << result.error.toStdString();
}

TEST(LinkDownloadTitle, TheTitleEndsAtTheLastTilde)
{
    struct Row
    {
        const char* name;
        const char* title;
    };
    const Row rows[] = {
        {"Clip~mxf1j1.mp4", "Clip"},    {"Song - Only Audio~mxf1j2.m4a", "Song - Only Audio"},
        {"A ~ B~mxf1j3.webm", "A ~ B"}, // a title's own "~" stays in it
        {"Clip~.mp4", "Clip"},          // a name without a job mark
        {"plain.mp4", "plain"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(LinkDownloadImporter::titleOf(QString::fromUtf8(row.name)), QString::fromUtf8(row.title)) << row.name;
    EXPECT_TRUE(LinkDownloadJob::pageOfFile(QStringLiteral("Clip~nosuchjob.mp4")).isEmpty());
}

} // namespace
