// The built program and its tools: whatever ends Trawlix (SIGKILL, SIGTERM in any mode, a tool
// or a scan blocked on a FIFO), no tool it started, nor what a tool started in turn, lives on;
// and what a killed run was writing is removed by the next start, while a running job's file
// stays.
#include "tools/ScratchFile.h"

#include "SoundServer.h"
#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

// The processes, other than the program itself, that carry this run's mark in their
// environment (every descendant inherits it) or name its folder on their command line.
QStringList processesOf(const QByteArray& mark, const QString& folder, qint64 programPid)
{
    QStringList found;
    const QByteArray entry = "TRAWLIX_TEST_RUN=" + mark;
    const QByteArray folderBytes = QFile::encodeName(folder);
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        if (!number || pid == programPid || pid == QCoreApplication::applicationPid())
            continue;
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        const QByteArray environment = environ.open(QIODevice::ReadOnly) ? environ.readAll() : QByteArray();
        const QByteArray command = cmdline.open(QIODevice::ReadOnly) ? cmdline.readAll() : QByteArray();
        if (environment.split('\0').contains(entry) || command.contains(folderBytes))
            found << QStringLiteral("%1 %2").arg(pid).arg(QString::fromLocal8Bit(command).replace(QChar(0), u' '));
    }
    return found;
}

QStringList scratchIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeIf([](const QString& name) { return !ScratchFile::isScratchName(name); });
    return names;
}

class ProgramEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = BuiltProgram::missingForMedia(); !missing.isEmpty())
            TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());
        ASSERT_TRUE(m_dir.isValid());
        m_trawlix.setEnvironment(QStringLiteral("TRAWLIX_TEST_RUN"), QString::fromLatin1(m_mark));
        m_data = m_trawlix.dataDir();
        m_out = m_dir.filePath(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(m_data + QStringLiteral("/Videos")));
        ASSERT_TRUE(QDir().mkpath(m_out));
    }

    void TearDown() override
    {
        for (auto& program : m_programs) {
            if (program->state() != QProcess::NotRunning) {
                program->kill();
                program->waitForFinished(10000);
            }
        }
    }

    QProcess& start(const QStringList& arguments, const QStringList& extraEnvironment = {})
    {
        auto program = std::make_unique<QProcess>();
        for (const QString& entry : extraEnvironment)
            m_trawlix.setEnvironment(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        m_trawlix.prepare(*program, arguments);
        program->setProcessChannelMode(QProcess::MergedChannels);
        program->start();
        m_programs.push_back(std::move(program));
        return *m_programs.back();
    }

    QStringList processes(const QProcess& program) const
    {
        return processesOf(m_mark, m_dir.path(), program.processId());
    }

    // Waits until the program has a tool running.
    bool waitForTool(const QProcess& program, int ms = 30000) const
    {
        return QTest::qWaitFor([&] { return !processes(program).isEmpty(); }, ms);
    }

    // A tool in the data folder (found before PATH) that blocks for ever, as one reading a FIFO
    // does, after starting a child of its own.
    void blockingTool(const QString& name) const
    {
        const QString path = m_data + QLatin1Char('/') + name;
        QFile script(path);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nsleep 300 &\nsleep 301\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }

    QString longSource() const
    {
        const QString path = m_dir.filePath(QStringLiteral("long.mkv"));
        if (!QFileInfo::exists(path))
            MediaFixture::make(path, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                      QStringLiteral("testsrc=size=160x120:rate=10:duration=600"),
                                      QStringLiteral("-c:v"), QStringLiteral("ffv1")});
        return path;
    }

    QTemporaryDir m_dir;
    // Every run shares the folder (HOME is FOLDER/home); started in this order, not headless.
    BuiltProgram m_trawlix{m_dir.path(), BuiltProgram::Mode::Desktop};
    QString m_data;
    QString m_out;
    QByteArray m_mark = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    std::vector<std::unique_ptr<QProcess>> m_programs;
};

TEST_F(ProgramEndTest, AKilledConversionLeavesNoToolAndItsScratchFileGoesLater)
{
    const QString source = longSource();
    const QString clip = m_dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(clip, 1));
    const QString userFile = m_out + QStringLiteral("/long.part.webm");
    QFile user(userFile);
    ASSERT_TRUE(user.open(QIODevice::WriteOnly));
    user.write("the user's own");
    user.close();

    QProcess& killed = start({QStringLiteral("--convert"), source, QStringLiteral("--profile"),
                              QStringLiteral("video_formats/webm"), QStringLiteral("--output"), m_out});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !scratchIn(m_out).isEmpty(); }, 30000)) << killed.readAll().toStdString();
    ASSERT_TRUE(waitForTool(killed));
    const QStringList scratch = scratchIn(m_out);

    // Another conversion into the folder leaves the running one's file alone.
    QProcess& beside = start({QStringLiteral("--convert"), clip, QStringLiteral("--profile"),
                              QStringLiteral("audio_formats/mp3"), QStringLiteral("--output"), m_out});
    ASSERT_TRUE(beside.waitForFinished(60000));
    EXPECT_EQ(beside.exitCode(), 0) << beside.readAll().toStdString();
    EXPECT_EQ(scratchIn(m_out), scratch);

    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processes(killed).isEmpty(); }, 10000))
        << qPrintable(processes(killed).join(u'\n'));
    EXPECT_EQ(scratchIn(m_out), scratch) << "nobody removed it yet";

    // The next start in that folder removes it; the user's file of the old scratch form stays.
    QProcess& next = start({QStringLiteral("--convert"), clip, QStringLiteral("--profile"),
                            QStringLiteral("audio_formats/mp3"), QStringLiteral("--output"), m_out});
    ASSERT_TRUE(next.waitForFinished(60000));
    EXPECT_EQ(scratchIn(m_out), QStringList());
    QFile kept(userFile);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("the user's own"));
}

TEST_F(ProgramEndTest, AKilledProgramTakesItsToolsFamiliesAlong)
{
    // The tool starts a child of its own, which the kernel's death signal does not reach.
    blockingTool(QStringLiteral("ffprobe"));
    const QString clip = m_dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(clip, 1));
    QProcess& killed = start({QStringLiteral("--convert"), clip, QStringLiteral("--profile"),
                              QStringLiteral("audio_formats/mp3"), QStringLiteral("--output"), m_out});
    ASSERT_TRUE(QTest::qWaitFor([&] { return processes(killed).size() >= 3; }, 30000))
        << qPrintable(processes(killed).join(u'\n'));
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processes(killed).isEmpty(); }, 10000))
        << qPrintable(processes(killed).join(u'\n'));
}

TEST_F(ProgramEndTest, AKilledRecordingLeavesNoTool)
{
    if (!SoundServer::installed()) {
        if (SoundServer::requiredByCi())
            FAIL() << "pulseaudio is not installed, and CI needs this test";
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    // The sound server lives elsewhere: it is the test's, not one of the program's tools.
    QTemporaryDir soundDir;
    SoundServer server(soundDir.filePath(QStringLiteral("pulse")).toStdString());
    ASSERT_TRUE(server.start()) << server.error();
    QProcess& killed =
        start({QStringLiteral("--record"), QStringLiteral("600")},
              {QStringLiteral("ALSA_CONFIG_PATH=") + QString::fromStdString(server.alsaConfig(SONOTRAP_PLUGIN))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QDir(m_data + QStringLiteral("/TempRecords")).isEmpty(); }, 30000))
        << killed.readAll().toStdString();
    ASSERT_TRUE(waitForTool(killed));
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return processes(killed).isEmpty(); }, 10000))
        << qPrintable(processes(killed).join(u'\n'));
    // Nothing writes the recording any more.
    const QFileInfoList left = QDir(m_data + QStringLiteral("/TempRecords")).entryInfoList(QDir::Files);
    ASSERT_EQ(left.size(), 1);
    const qint64 size = left.first().size();
    QThread::msleep(1500);
    EXPECT_EQ(QFileInfo(left.first().filePath()).size(), size);
}

struct BlockedCase
{
    const char* name;
    std::function<QStringList(const QTemporaryDir& dir, const QString& data, const QString& out)> prepare;
};

class BlockedTool : public ProgramEndTest, public ::testing::WithParamInterface<BlockedCase>
{
};

TEST_P(BlockedTool, SigtermEndsTheProgramAndTheToolWithinSeconds)
{
    const QStringList arguments = GetParam().prepare(m_dir, m_data, m_out);
    ASSERT_FALSE(arguments.isEmpty());
    blockingTool(QStringLiteral("yt-dlp"));
    QProcess& program = start(arguments);
    ASSERT_TRUE(waitForTool(program)) << program.readAll().toStdString();
    QThread::msleep(300); // past the start, into the wait
    QElapsedTimer timer;
    timer.start();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(15000)) << "still running 15 s after SIGTERM";
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return processes(program).isEmpty(); }, 10000))
        << qPrintable(processes(program).join(u'\n'));
}

QString fifo(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("pipe.mp4"));
    ::mkfifo(QFile::encodeName(path).constData(), 0600);
    return path;
}

void script(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("#!/bin/sh\nsleep 300 &\nsleep 301\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

INSTANTIATE_TEST_SUITE_P(
    Modes,
    BlockedTool,
    ::testing::Values(
        // The real ffprobe, opening a FIFO nobody writes to.
        BlockedCase{"CutOfAFifo",
                    [](const QTemporaryDir& dir, const QString&, const QString& out) {
                        return QStringList{QStringLiteral("--cut"),    fifo(dir),
                                           QStringLiteral("--from"),   QStringLiteral("0"),
                                           QStringLiteral("--to"),     QStringLiteral("1"),
                                           QStringLiteral("--output"), out};
                    }},
        BlockedCase{"ConvertWhileProbing",
                    [](const QTemporaryDir& dir, const QString& data, const QString& out) {
                        script(data + QStringLiteral("/ffprobe"));
                        const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
                        MediaFixture::makeClip(clip, 1);
                        return QStringList{QStringLiteral("--convert"), clip,
                                           QStringLiteral("--profile"), QStringLiteral("audio_formats/mp3"),
                                           QStringLiteral("--output"),  out};
                    }},
        // The listing reads the library on its main thread: no event loop sees the signal.
        BlockedCase{"ListingWhileScanning",
                    [](const QTemporaryDir&, const QString& data, const QString&) {
                        script(data + QStringLiteral("/ffprobe"));
                        script(data + QStringLiteral("/ffmpeg"));
                        MediaFixture::makeClip(data + QStringLiteral("/Videos/clip.mp4"), 1);
                        return QStringList{QStringLiteral("--headless"), QStringLiteral("--list")};
                    }},
        BlockedCase{"DownloadLink",
                    [](const QTemporaryDir&, const QString&, const QString&) {
                        return QStringList{QStringLiteral("--download-link"), QStringLiteral("http://127.0.0.1:9/x")};
                    }}),
    [](const ::testing::TestParamInfo<BlockedCase>& row) { return std::string(row.param.name); });

TEST_F(ProgramEndTest, StartUpRemovesScratchFilesOfAnEndedRunOnly)
{
    const QStringList stale{m_data + QStringLiteral("/.cutting-Ab12Cd-Fragment of x.mp4"),
                            m_data + QStringLiteral("/Videos/.part-Zz99Yy-clip.mkv")};
    const QStringList users{m_data + QStringLiteral("/clip.part.mkv"), m_data + QStringLiteral("/.part-x.mkv")};
    for (const QString& path : stale + users) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("bytes");
    }
    QProcess& listing = start({QStringLiteral("--headless"), QStringLiteral("--list")});
    ASSERT_TRUE(listing.waitForFinished(60000));
    EXPECT_EQ(listing.exitCode(), 0) << listing.readAll().toStdString();
    for (const QString& path : stale)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    for (const QString& path : users)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
}

} // namespace
