// The built program killed with SIGKILL at random moments of its work (a captured download with
// its assembly, a conversion, a cut, a recording) and started again. After each restart no
// library file has lost a byte, no child of the killed run is alive, no scratch file is left and
// the interrupted work is either whole in the library (or its output folder) or not there at all.
//
// TRAWLIX_KILL_ROUNDS sets the kill points per kind of work (default 3); TRAWLIX_KILL_SEED
// repeats a run (the seed is printed).
#include "SoundServer.h"

#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>

namespace {

constexpr auto kMarkName = "TRAWLIX_KILL_MARK";

int rounds()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("TRAWLIX_KILL_ROUNDS", &ok);
    return ok && value > 0 ? qMin(value, 50) : 3;
}

QByteArray digestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

class KillAndRestart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = BuiltProgram::missingForMedia(); !missing.isEmpty())
            TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());
        bool seeded = false;
        const quint32 fixed = quint32(qEnvironmentVariableIntValue("TRAWLIX_KILL_SEED", &seeded));
        const quint32 seed = seeded ? fixed : QRandomGenerator::global()->bounded(1u << 30);
        m_random.seed(seed);
        std::printf("[kill points] TRAWLIX_KILL_SEED=%u\n", seed);
        m_mark = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_data = m_trawlix.dataDir();
        m_home = m_trawlix.homeDir();
        ASSERT_TRUE(QDir().mkpath(m_data + QStringLiteral("/Videos")));
        m_trawlix.setEnvironment(QString::fromLatin1(kMarkName), m_mark);

        // The library a user already has: two clips whose bytes must survive every kill.
        for (const char* name : {"1500000000.mp4", "1500000100.mp3"}) {
            const QString path = m_data + QStringLiteral("/Videos/") + QLatin1String(name);
            ASSERT_TRUE(MediaFixture::makeClip(path, 2, QFileInfo(path).suffix() == QLatin1String("mp4")));
            m_libraryBefore[path] = digestOf(path);
        }
        // A first start writes the settings; the download case switches detection on.
        ASSERT_EQ(runToEnd({QStringLiteral("--headless"), QStringLiteral("--list")}), 0);
    }

    void TearDown() override
    {
        std::printf("[kill points] %d run\n", m_killPoints);
        std::fflush(stdout);
    }

    int runToEnd(const QStringList& arguments, QString* output = nullptr) const
    {
        const BuiltProgram::Run run = m_trawlix.run(arguments);
        if (output)
            *output = QString::fromUtf8(run.out + run.err);
        return run.exitCode;
    }

    int randomMs(int from, int to) { return from + int(m_random.bounded(quint32(to - from + 1))); }

    // Starts the program (not headless), lets it work for `ms`, then kills it.
    void killAfter(const QStringList& arguments, int ms)
    {
        m_trawlix.setMode(BuiltProgram::Mode::Desktop);
        ASSERT_TRUE(m_trawlix.start(arguments));
        m_trawlix.settle(ms);
        m_trawlix.kill();
        ++m_killPoints;
    }

    // Processes started by the killed run: every process whose environment carries this test's
    // mark (the mark is in the program's environment only, never in the test's own).
    QStringList survivors() const
    {
        QStringList alive;
        const QByteArray needle = QByteArray(kMarkName) + '=' + m_mark.toLatin1();
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& pid : pids) {
            bool numeric = false;
            pid.toInt(&numeric);
            if (!numeric)
                continue;
            QFile environ(QStringLiteral("/proc/") + pid + QStringLiteral("/environ"));
            if (!environ.open(QIODevice::ReadOnly) || !environ.readAll().split('\0').contains(needle))
                continue;
            QFile cmdline(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
            cmdline.open(QIODevice::ReadOnly);
            alive << pid + QLatin1Char(' ') + QString::fromLocal8Bit(cmdline.readAll().replace('\0', ' '));
        }
        return alive;
    }

    // Children get a moment for their death signal; then none may be left.
    void expectNoSurvivors(const QString& what)
    {
        QStringList alive;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                alive = survivors();
                return alive.isEmpty();
            },
            3000))
            << what.toStdString() << ": alive after the kill:\n"
            << alive.join(QLatin1Char('\n')).toStdString();
        for (const QString& line : std::as_const(alive))
            ::kill(line.section(QLatin1Char(' '), 0, 0).toInt(), SIGKILL); // so the next round starts clean
    }

    // Starts the desktop program again for a few seconds (its start-up cleans and imports),
    // then ends it with SIGTERM.
    void restart(const QString& what)
    {
        m_trawlix.setMode(BuiltProgram::Mode::Desktop);
        ASSERT_TRUE(m_trawlix.start({}));
        m_trawlix.settle(4000);
        // A signal ends every mode: by the event loop at once, or by the signal watch's hard
        // exit after 30 s. A slow end is printed, so the log shows it.
        QElapsedTimer ending;
        ending.start();
        const int code = m_trawlix.stop(40000);
        if (ending.elapsed() > 5000)
            std::printf("[kill points] %s: the restarted program took %lld ms to end on SIGTERM\n", qPrintable(what),
                        ending.elapsed());
        if (code == -1)
            ADD_FAILURE() << what.toStdString() << ": the restarted program did not end cleanly on SIGTERM\n"
                          << m_trawlix.output().toStdString();
        QString listing;
        EXPECT_EQ(runToEnd({QStringLiteral("--headless"), QStringLiteral("--list")}, &listing), 0)
            << what.toStdString() << ": " << listing.toStdString();
    }

    // Library files the user had before are byte for byte what they were.
    void expectLibraryKept(const QString& what)
    {
        for (const auto& [path, digest] : m_libraryBefore)
            EXPECT_EQ(digestOf(path), digest) << what.toStdString() << ": " << path.toStdString();
    }

    // Names the program uses for unfinished work, anywhere under the test's folders.
    void expectNoScratch(const QString& what)
    {
        QStringList scratch;
        QDirIterator it(m_root.path(), QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo file(it.next());
            const QString name = file.fileName();
            const QString folder = file.dir().dirName();
            if (name.contains(QLatin1String(".part")) || name.startsWith(QLatin1String(".cutting-")) ||
                file.path().contains(QLatin1String("/.partial-")) || folder == QLatin1String("Temp") ||
                folder == QLatin1String("TempExport"))
                scratch << file.filePath();
        }
        EXPECT_TRUE(scratch.isEmpty()) << what.toStdString() << ": scratch left:\n"
                                       << scratch.join(QLatin1Char('\n')).toStdString();
    }

    // Library files the killed work added.
    QStringList newLibraryFiles() const
    {
        QStringList added;
        const QFileInfoList files = QDir(m_data + QStringLiteral("/Videos")).entryInfoList(QDir::Files);
        for (const QFileInfo& file : files) {
            if (!m_libraryBefore.count(file.filePath()))
                added << file.filePath();
        }
        return added;
    }

    void removeNewLibraryFiles()
    {
        for (const QString& path : newLibraryFiles())
            QFile::remove(path);
    }

    // The checks after every kill, then what this kind of work left.
    void afterKill(const QString& what, const std::function<void()>& workCheck)
    {
        expectNoSurvivors(what);
        restart(what);
        expectNoSurvivors(what + QStringLiteral(" (restart)"));
        expectLibraryKept(what);
        expectNoScratch(what);
        workCheck();
    }

    QTemporaryDir m_root;
    BuiltProgram m_trawlix{m_root.path(), BuiltProgram::Mode::Desktop};
    QString m_data;
    QString m_home;
    QString m_mark;
    std::map<QString, QByteArray> m_libraryBefore;
    QRandomGenerator m_random;
    int m_killPoints = 0;
};

// A conversion (and a cut) writes into the converter's output folder: afterwards that folder
// holds the whole result or nothing.
void expectWholeOrAbsent(const QString& folder, double seconds, double tolerance, const QString& what)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_LE(files.size(), 1) << what.toStdString();
    for (const QFileInfo& file : files) {
        EXPECT_NEAR(MediaFixture::duration(file.filePath()), seconds, tolerance)
            << what.toStdString() << ": " << file.filePath().toStdString();
        EXPECT_EQ(MediaFixture::decodeErrors(file.filePath()), QString()) << what.toStdString();
        QFile::remove(file.filePath());
    }
}

TEST_F(KillAndRestart, Conversion)
{
    const QString source = m_root.filePath(QStringLiteral("source.mp4"));
    ASSERT_TRUE(
        MediaFixture::make(source, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                    QStringLiteral("testsrc=size=640x360:rate=25:duration=12"), QStringLiteral("-f"),
                                    QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=duration=12"),
                                    QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")}));
    const QString output = m_home + QStringLiteral("/Documents/Trawlix");
    for (int round = 0; round < rounds(); ++round) {
        const QString what = QStringLiteral("conversion, round %1").arg(round);
        killAfter(
            {QStringLiteral("--convert"), source, QStringLiteral("--profile"), QStringLiteral("video_formats/mp4")},
            randomMs(100, 5000));
        afterKill(what, [&] { expectWholeOrAbsent(output, 12, 0.5, what); });
    }
}

TEST_F(KillAndRestart, Cut)
{
    const QString source = m_root.filePath(QStringLiteral("source.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(source, 30));
    const QString output = m_home + QStringLiteral("/Documents/Trawlix");
    for (int round = 0; round < rounds(); ++round) {
        const QString what = QStringLiteral("cut, round %1").arg(round);
        killAfter({QStringLiteral("--cut"), source, QStringLiteral("--from"), QStringLiteral("0"),
                   QStringLiteral("--to"), QStringLiteral("20")},
                  randomMs(20, 600));
        afterKill(what, [&] { expectWholeOrAbsent(output, 20, 0.6, what); });
    }
}

TEST_F(KillAndRestart, Recording)
{
    if (!SoundServer::installed())
        TRAWLIX_SKIP_UNLESS_CI("pulseaudio is not installed");
    SoundServer server(m_root.filePath(QStringLiteral("pulse")).toStdString());
    ASSERT_TRUE(server.start()) << server.error();
    m_trawlix.setEnvironment(QStringLiteral("ALSA_CONFIG_PATH"),
                             QString::fromStdString(server.alsaConfig(SONOTRAP_PLUGIN)));
    for (int round = 0; round < rounds(); ++round) {
        const QString what = QStringLiteral("recording, round %1").arg(round);
        killAfter({QStringLiteral("--record"), QStringLiteral("600")}, randomMs(300, 4000));
        afterKill(what, [&] {
            // What was recorded is kept: imported whole, or waiting in "TempRecords" for the
            // importer; never a broken file in the library.
            for (const QString& path : newLibraryFiles())
                EXPECT_EQ(MediaFixture::decodeErrors(path), QString())
                    << what.toStdString() << ": " << path.toStdString();
            removeNewLibraryFiles();
        });
    }
}

TEST_F(KillAndRestart, CapturedDownloadAndAssembly)
{
    if (!BuiltProgram::canCaptureOnLoopback(nullptr))
        TRAWLIX_SKIP_UNLESS_CI("live capture on lo is not permitted here (run as root)");
    const QString www = m_root.filePath(QStringLiteral("www"));
    ASSERT_TRUE(QDir().mkpath(www));
    const QString video = www + QStringLiteral("/clip.mp4");
    ASSERT_TRUE(MediaFixture::makeVideoClip(video, 20, QStringLiteral("640x360")));
    const QByteArray served = [&] {
        QFile file(video);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_GE(served.size(), 1000000);

    // The analyser knows HTTP on ports 80 and 8080; other tests may hold 8080 for a while.
    // Each part runs at most 250 kB/s, so the download and its assembly span a few seconds.
    NginxServer nginx(www, 8080);
    nginx.setServerDirectives(QStringLiteral("limit_rate 250k;"));
    if (!nginx.start(60000))
        TRAWLIX_SKIP_UNLESS_CI("nginx could not listen on 127.0.0.1:8080: " << nginx.error().toStdString());
    m_trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    m_trawlix.setSetting(QStringLiteral("accelerator"), QStringLiteral("true"));
    m_trawlix.setSetting(QStringLiteral("mp4"), QStringLiteral("true"));
    m_trawlix.setSetting(QStringLiteral("repairvideos"), QStringLiteral("false")); // a plain copy: bytes compare

    int whole = 0;
    int absent = 0;
    for (int round = 0; round < rounds(); ++round) {
        const QString what = QStringLiteral("captured download, round %1").arg(round);
        m_trawlix.setMode(BuiltProgram::Mode::Headless);
        ASSERT_TRUE(m_trawlix.startCapture()) << m_trawlix.output().toStdString();
        QProcess client;
        client.start(QStringLiteral("curl"),
                     {QStringLiteral("-s"), QStringLiteral("--max-time"), QStringLiteral("1"), QStringLiteral("-o"),
                      QStringLiteral("/dev/null"), QStringLiteral("-H"),
                      QStringLiteral("Referer: http://127.0.0.1/page.html"), nginx.url(QStringLiteral("/clip.mp4"))});
        m_trawlix.settle(randomMs(0, 5000));
        m_trawlix.kill();
        ++m_killPoints;
        client.waitForFinished(10000);
        afterKill(what, [&] {
            const QStringList added = newLibraryFiles();
            EXPECT_LE(added.size(), 1) << what.toStdString();
            ++(added.isEmpty() ? absent : whole);
            for (const QString& path : added) {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::ReadOnly));
                EXPECT_TRUE(file.readAll() == served) << what.toStdString() << ": half a download in the library";
            }
            removeNewLibraryFiles();
        });
    }
    std::printf("[kill points] captured download: %d in the library, %d absent\n", whole, absent);
}

} // namespace
