// The recorder job end to end: ffmpeg records through the built Sonotrap plugin from a sound
// server the test starts.
#include "tools/RecordJob.h"
#include "base/AppPaths.h"
#include "tools/RecordSources.h"

#include "SoundServer.h"
#include "WavFile.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include <unistd.h>

namespace {

const AudioSource kSonotrap{QStringLiteral("alsa"), QStringLiteral("sonotrap"), QStringLiteral("Sonotrap")};

class RecordJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SoundServer::installed()) {
            if (SoundServer::requiredByCi())
                FAIL() << "pulseaudio is not installed, and CI needs these tests";
            GTEST_SKIP() << "pulseaudio is not installed";
        }
        ASSERT_TRUE(m_dir.isValid());
        m_server = std::make_unique<SoundServer>(m_dir.filePath(QStringLiteral("pulse")).toStdString());
        ASSERT_TRUE(m_server->start()) << m_server->error();
        qputenv("ALSA_CONFIG_PATH", QByteArray::fromStdString(m_server->alsaConfig(SONOTRAP_PLUGIN)));
        AppPaths::setDataDir(m_dir.filePath(QStringLiteral("data")));
        QDir().mkpath(AppPaths::folder(AppPaths::Folder::TempRecords));
        m_tone = m_dir.filePath(QStringLiteral("tone.wav")).toStdString();
        ASSERT_EQ(runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                              "sine=frequency=440:duration=2", "-y", m_tone})
                      .exitCode,
                  0);
    }
    void TearDown() override { qunsetenv("ALSA_CONFIG_PATH"); }

    void playTone() const { runProcess({"paplay", "--latency-msec=30", m_tone}, {}, 30); }

    QTemporaryDir m_dir;
    std::unique_ptr<SoundServer> m_server;
    std::string m_tone;
};

TEST_F(RecordJobTest, DiscoveryFindsSonotrapAndChecksItAlone)
{
    const QList<AudioSource> listed = RecordSources::discover();
    ASSERT_TRUE(listed.contains(kSonotrap));
    EXPECT_TRUE(listed.contains(
        AudioSource{QStringLiteral("pulse"), QStringLiteral("ci_sink.monitor"), QStringLiteral("Monitor of CISink")}))
        << "the PulseAudio listing is read too";
    const QList<bool> checks = RecordSources::initialChecks(listed);
    EXPECT_EQ(checks.count(true), 1);
    EXPECT_TRUE(checks.at(listed.indexOf(kSonotrap)));
    // Each new source goes on top: the pulse sources (listed last by ffmpeg) come first.
    EXPECT_EQ(listed.first().input, QStringLiteral("pulse"));
}

struct FormatCase
{
    RecordJob::Format format;
    const char* extension;
};

class RecordJobFormats : public RecordJobTest, public ::testing::WithParamInterface<FormatCase>
{
};

TEST_P(RecordJobFormats, RecordsUntilStoppedAndFinishesTheFile)
{
    RecordJob job;
    QSignalSpy states(&job, &RecordJob::stateChanged);
    QSignalSpy captions(&job, &RecordJob::elapsedChanged);
    QSignalSpy finished(&job, &RecordJob::finished);
    // ffmpeg's first position report says the capture runs; on a busy machine that may be a
    // second or more after the start, and the sound before it was never the recording's.
    std::atomic<bool> capturing{false};
    QObject::connect(&job, &RecordJob::elapsedChanged, [&capturing] { capturing.store(true); });
    QElapsedTimer wall;
    wall.start();
    ASSERT_TRUE(job.start({kSonotrap}, GetParam().format));
    EXPECT_EQ(job.state(), RecordJob::State::Recording);
    EXPECT_TRUE(job.path().startsWith(AppPaths::folder(AppPaths::Folder::TempRecords)));
    EXPECT_TRUE(job.path().endsWith(QLatin1String(GetParam().extension)));
    ASSERT_TRUE(QTest::qWaitFor([&capturing] { return capturing.load(); }, 15000)) << "no position from ffmpeg";
    std::thread player([this] {
        QThread::msleep(300);
        playTone();
    });
    QThread::msleep(3000);
    player.join();
    job.stop();
    const RecordJob::Result result = job.wait();
    const double wallSeconds = wall.elapsed() / 1000.0;
    ASSERT_EQ(result.code, RecordJob::Result::Code::Recorded) << result.error.toStdString();
    EXPECT_EQ(result.file, job.path());
    EXPECT_GE(result.seconds, 3);
    EXPECT_LE(result.seconds, wallSeconds);
    EXPECT_EQ(job.state(), RecordJob::State::Finished);
    ASSERT_TRUE(finished.wait(5000) || finished.size() == 1);
    EXPECT_FALSE(captions.isEmpty());
    // ffmpeg's own position, read from its progress reports: past the first second of sound
    // (the reports come every half second, and the last ones arrive after the stop).
    const QString lastCaption = captions.last().at(0).toString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^00:0[1-4] - Recording\\.\\.\\.$")).match(lastCaption).hasMatch())
        << lastCaption.toStdString();
    QList<RecordJob::State> seen;
    for (const QList<QVariant>& signal : states)
        seen << signal.at(0).value<RecordJob::State>();
    EXPECT_EQ(seen, (QList<RecordJob::State>{RecordJob::State::Recording, RecordJob::State::Stopping,
                                             RecordJob::State::Finished}));

    // The file is complete: an ffmpeg copy reads it to the end.
    const std::string wav = m_dir.filePath(QStringLiteral("check.wav")).toStdString();
    ASSERT_EQ(
        runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", result.file.toStdString(), "-y", wav}).exitCode,
        0);
    const WavFile recorded = WavFile::read(wav);
    ASSERT_TRUE(recorded.valid);
    // Everything from the first report to the stop, and no more than the whole run.
    EXPECT_GE(recorded.seconds, 2.8);
    EXPECT_LE(recorded.seconds, wallSeconds + 0.2);
    const std::vector<Span> loud = loudSpans(recorded);
    ASSERT_FALSE(loud.empty());
    EXPECT_NEAR(frequencyIn(recorded, {loud.front().start + 0.05, loud.front().end - 0.05}), 440.0, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Formats,
                         RecordJobFormats,
                         ::testing::Values(FormatCase{RecordJob::Format::Mp3, ".mp3"},
                                           FormatCase{RecordJob::Format::Wav, ".wav"}),
                         [](const ::testing::TestParamInfo<FormatCase>& row) {
                             return std::string(row.param.extension + 1);
                         });

TEST_F(RecordJobTest, ADeviceThatCannotOpenFailsWithFfmpegsReason)
{
    RecordJob job;
    ASSERT_TRUE(job.start({{QStringLiteral("alsa"), QStringLiteral("no_such_device"), {}}}, RecordJob::Format::Wav));
    const RecordJob::Result result = job.wait();
    EXPECT_EQ(result.code, RecordJob::Result::Code::Failed);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(result.file));
}

TEST_F(RecordJobTest, NoDeviceIsRefusedAtOnce)
{
    RecordJob job;
    QSignalSpy finished(&job, &RecordJob::finished);
    EXPECT_FALSE(job.start({}, RecordJob::Format::Mp3));
    ASSERT_EQ(finished.size(), 1);
    const auto result = finished.first().at(0).value<RecordJob::Result>();
    EXPECT_EQ(result.code, RecordJob::Result::Code::NoDevice);
    EXPECT_EQ(result.error, QStringLiteral("No devices for audio recording!"));
    EXPECT_FALSE(job.start({kSonotrap}, RecordJob::Format::Mp3)) << "a job records once";
}

TEST(RecordJobSpace, TheFloorIsTwoHundredMebibytesOrOnePercentOfASmallDisk)
{
    constexpr qint64 MiB = 1024 * 1024;
    struct Row
    {
        RecordJob::DiskSpace space;
        bool below;
    };
    const Row rows[] = {
        {{201 * MiB, 1000 * 1024 * MiB}, false},
        {{199 * MiB, 1000 * 1024 * MiB}, true},
        {{11 * MiB, 1000 * MiB}, false}, // 1 % of a 1000 MiB disk is 10 MiB
        {{9 * MiB, 1000 * MiB}, true},
        {{0, 64 * MiB}, true},
        {{-1, -1}, false}, // unknown: the recording goes on
        {{150 * MiB, -1}, true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RecordJob::belowFloor(row.space), row.below) << row.space.available << " of " << row.space.total;
}

TEST(RecordJobCaption, ShowsMinutesAndSecondsAndHoursPastAnHour)
{
    const struct
    {
        qint64 positionUs;
        const char* caption;
    } rows[] = {
        {-1, "00:00 - Recording..."}, // ffmpeg's "not yet"
        {0, "00:00 - Recording..."},
        {83'999'999, "01:23 - Recording..."},
        {3'599'000'000, "59:59 - Recording..."},
        {3'907'000'000, "01:05:07 - Recording..."},
        {360'000'000'000, "100:00:00 - Recording..."},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RecordJob::caption(row.positionUs), QString::fromLatin1(row.caption)) << row.positionUs;
}

TEST_F(RecordJobTest, ALowDiskEndsTheRecordingAndKeepsIt)
{
    constexpr qint64 GiB = qint64(1024) * 1024 * 1024;
    RecordJob job;
    std::atomic<int> asked{0};
    // Plenty of room for the start and two looks, then almost none.
    job.setFreeSpaceQuery([&asked](const QString&) {
        return RecordJob::DiskSpace{++asked <= 3 ? 100 * GiB : 100 * 1024 * 1024, 500 * GiB};
    });
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(job.start({kSonotrap}, RecordJob::Format::Wav));
    const RecordJob::Result result = job.wait();
    const double wallSeconds = timer.elapsed() / 1000.0;
    EXPECT_LT(wallSeconds, 10);
    ASSERT_EQ(result.code, RecordJob::Result::Code::Recorded) << result.error.toStdString();
    EXPECT_EQ(result.ending, RecordJob::Result::Ending::LowDiskSpace);
    EXPECT_TRUE(result.error.contains(QLatin1String("disk"))) << result.error.toStdString();
    const std::string wav = m_dir.filePath(QStringLiteral("check.wav")).toStdString();
    ASSERT_EQ(
        runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", result.file.toStdString(), "-y", wav}).exitCode,
        0);
    // About three seconds, less ffmpeg's start on a busy machine.
    const double kept = WavFile::read(wav).seconds;
    EXPECT_GT(kept, 0.5);
    EXPECT_LE(kept, wallSeconds + 0.2);

    // Already below the floor: nothing starts.
    RecordJob full;
    full.setFreeSpaceQuery([](const QString&) { return RecordJob::DiskSpace{1024, 500 * GiB}; });
    EXPECT_FALSE(full.start({kSonotrap}, RecordJob::Format::Wav));
    EXPECT_EQ(full.wait().code, RecordJob::Result::Code::NotStarted);
}

TEST_F(RecordJobTest, ARecordingOnASmallDiskStopsBeforeItIsFull)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString mount = m_dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mount));
    if (runProcess({"mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", mount.toStdString()}).exitCode != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount
    {
        std::string path;
        ~Unmount() { runProcess({"umount", "-l", path}); }
    } unmount{mount.toStdString()};
    // Leave about 2.5 MiB: some 15 s of WAV above the floor (1 % of 64 MiB).
    const std::string filler = (mount + QStringLiteral("/filler")).toStdString();
    ASSERT_EQ(runProcess({"dd", "if=/dev/zero", "of=" + filler, "bs=1M", "count=61"}).exitCode, 0);
    AppPaths::setDataDir(mount + QStringLiteral("/data"));
    ASSERT_TRUE(QDir().mkpath(AppPaths::folder(AppPaths::Folder::TempRecords)));

    RecordJob job;
    ASSERT_TRUE(job.start({kSonotrap}, RecordJob::Format::Wav, 120));
    const RecordJob::Result result = job.wait();
    ASSERT_EQ(result.code, RecordJob::Result::Code::Recorded) << result.error.toStdString();
    EXPECT_EQ(result.ending, RecordJob::Result::Ending::LowDiskSpace);
    const RecordJob::DiskSpace left = RecordJob::freeSpace(mount);
    EXPECT_GT(left.available, 0) << "the disk never filled";
    const std::string wav = m_dir.filePath(QStringLiteral("check.wav")).toStdString();
    const ProcessResult copy =
        runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", result.file.toStdString(), "-y", wav});
    ASSERT_EQ(copy.exitCode, 0) << copy.output;
    EXPECT_GT(WavFile::read(wav).seconds, 5);
    EXPECT_LT(WavFile::read(wav).seconds, 40);
}

TEST(RecordJobStart, OfTwoStartsAtOnceOneRuns)
{
    // ffmpeg fails on a device that is not there, so each round ends on its own at once.
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    AppPaths::setDataDir(dir.path());
    const AudioSource missing{QStringLiteral("alsa"), QStringLiteral("no_such_device"), {}};
    for (int round = 0; round < 20; ++round) {
        RecordJob job;
        std::atomic<int> waiting{2};
        std::atomic<int> started{0};
        const auto start = [&] {
            // Both threads leave the barrier together, so their starts overlap.
            --waiting;
            while (waiting.load() > 0) {
            }
            if (job.start({missing}, RecordJob::Format::Wav))
                ++started;
        };
        std::thread first(start);
        std::thread second(start);
        first.join();
        second.join();
        EXPECT_EQ(started.load(), 1) << "round " << round;
        job.stop();
        EXPECT_EQ(job.wait().code, RecordJob::Result::Code::Failed) << "round " << round;
        EXPECT_EQ(job.state(), RecordJob::State::Finished) << "round " << round;
        // A stop after the end changes nothing.
        job.stop();
        EXPECT_EQ(job.state(), RecordJob::State::Finished) << "round " << round;
    }
}

} // namespace
