// The conversion job with the real ffmpeg: every shipped profile converts a generated clip, and
// the job refuses what is no media, reports failures with ffmpeg's words, stops on request and
// never leaves a partial output or touches its source.
#include "tools/ConvertJob.h"
#include "tools/ScratchFile.h"

#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSourceSeconds = 10;

struct Probe
{
    QString format;
    QString videoCodec;
    QString audioCodec;
    int width = 0;
    int height = 0;
    double duration = 0;
};

Probe probe(const QString& path)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                   QStringLiteral("format=format_name,duration:stream=codec_type,codec_name,width,height"),
                   QStringLiteral("-of"), QStringLiteral("json"), path});
    ffprobe.waitForFinished(30000);
    const QJsonObject report = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    Probe result;
    result.format = report.value(QLatin1String("format")).toObject().value(QLatin1String("format_name")).toString();
    result.duration =
        report.value(QLatin1String("format")).toObject().value(QLatin1String("duration")).toString().toDouble();
    for (const QJsonValue& value : report.value(QLatin1String("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value(QLatin1String("codec_type")).toString() == QLatin1String("video")) {
            result.videoCodec = stream.value(QLatin1String("codec_name")).toString();
            result.width = stream.value(QLatin1String("width")).toInt();
            result.height = stream.value(QLatin1String("height")).toInt();
        } else if (stream.value(QLatin1String("codec_type")).toString() == QLatin1String("audio")) {
            result.audioCodec = stream.value(QLatin1String("codec_name")).toString();
        }
    }
    return result;
}

QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Scratch files left in folder.
QStringList scratchLeft(const QString& folder)
{
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    left.removeIf([](const QString& name) { return !ScratchFile::isScratchName(name); });
    return left;
}

// One clip for the whole suite: 320x240 test pattern at 15 frames a second with a tone.
class ConvertSource
{
public:
    static const ConvertSource& instance()
    {
        static const ConvertSource source;
        return source;
    }
    bool ok = false;
    QString path;
    QString folder;

private:
    ConvertSource()
    {
        folder = m_dir.path();
        path = m_dir.filePath(QStringLiteral("source.mp4"));
        const QString seconds = QString::number(kSourceSeconds);
        ok = MediaFixture::ffmpegAvailable() &&
             MediaFixture::make(path, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                       QStringLiteral("testsrc=size=320x240:rate=15:duration=") + seconds,
                                       QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                       QStringLiteral("sine=frequency=440:duration=") + seconds,
                                       QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                                       QStringLiteral("libx264"), QStringLiteral("-preset"),
                                       QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("aac")});
    }
    QTemporaryDir m_dir;
};

struct Expected
{
    const char* name;
    const char* format; // a part of ffprobe's format_name
    const char* video;  // empty: no video stream
    const char* audio;
};

const Expected kExpected[] = {
    {"android_phone_720", "mp4", "h264", "aac"},
    {"android_phone_480", "mp4", "h264", "aac"},
    {"android_tablet_1080", "mp4", "h264", "aac"},
    {"android_tablet_720", "mp4", "h264", "aac"},
    {"iphone", "mp4", "h264", "aac"},
    {"ipad", "mp4", "h264", "aac"},
    {"iphone_ipad_mov", "mov", "h264", "aac"},
    {"old_phone_3gp", "3gp", "mpeg4", "aac"},
    {"tv_1080_mp4", "mp4", "h264", "aac"},
    {"tv_1080_mkv", "matroska", "h264", "aac"},
    {"tv_2160_mp4", "mp4", "h264", "aac"},
    {"tv_2160_mkv", "matroska", "h264", "aac"},
    {"mp4", "mp4", "h264", "aac"},
    {"mkv", "matroska", "h264", "aac"},
    {"webm", "webm", "vp9", "opus"},
    {"avi", "avi", "mpeg4", "mp3"},
    {"mov", "mov", "h264", "aac"},
    {"mp3", "mp3", "", "mp3"},
    {"m4a", "m4a", "", "aac"},
    {"ogg", "ogg", "", "vorbis"},
    {"opus", "ogg", "", "opus"},
    {"flac", "flac", "", "flac"},
    {"wav", "wav", "", "pcm_s16le"},
};

std::vector<std::string> shippedPaths()
{
    std::vector<std::string> paths;
    for (const QString& path : ProfileStore::shippedSet().profilePaths())
        paths.push_back(path.toStdString());
    return paths;
}

class ShippedProfile : public ::testing::TestWithParam<std::string>
{
};

TEST_P(ShippedProfile, ConvertsTheGeneratedClip)
{
    const ConvertSource& source = ConvertSource::instance();
    if (!source.ok)
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is missing or could not make the source clip");
    const ProfileSet set = ProfileStore::shippedSet();
    const int index = set.indexOfPath(QString::fromStdString(GetParam()));
    ASSERT_GE(index, 0);
    const ConversionProfile& profile = set.profiles.at(index);
    const Expected* expected = nullptr;
    for (const Expected& entry : kExpected) {
        if (profile.name == QLatin1String(entry.name))
            expected = &entry;
    }
    ASSERT_NE(expected, nullptr) << "a shipped profile without expectations: " << GetParam();

    const ConvertJob::Settings settings = ConvertJob::defaults(set, index);
    const QString output =
        ConvertJob::outputPath(source.folder + QStringLiteral("/out"), profile.name, profile.fileExt);
    ConvertJob job;
    ASSERT_TRUE(job.start({{source.path, output, 0}}, settings));
    const QList<ConvertJob::FileResult> results = job.wait();
    ASSERT_EQ(results.size(), 1);
    ASSERT_EQ(results.first().code, ConvertJob::FileResult::Code::Converted) << results.first().error.toStdString();

    const Probe out = probe(output);
    EXPECT_TRUE(out.format.contains(QLatin1String(expected->format))) << out.format.toStdString();
    EXPECT_EQ(out.videoCodec, QLatin1String(expected->video));
    EXPECT_EQ(out.audioCodec, QLatin1String(expected->audio));
    EXPECT_NEAR(out.duration, kSourceSeconds, 0.2);
    if (*expected->video) {
        // Never above the source nor the profile's frame size; even dimensions.
        int maxWidth = 320;
        int maxHeight = 240;
        const QStringList size = settings.values.at(static_cast<int>(ParamList::Resolution)).split(QLatin1Char('x'));
        if (size.size() == 2) {
            maxWidth = std::min(maxWidth, size.at(0).toInt());
            maxHeight = std::min(maxHeight, size.at(1).toInt());
        }
        EXPECT_GT(out.width, 0);
        EXPECT_LE(out.width, maxWidth);
        EXPECT_LE(out.height, maxHeight);
        EXPECT_EQ(out.width % 2, 0);
        EXPECT_EQ(out.height % 2, 0);
    }
    // The size the chosen bitrates allow, with room for the container and rate control.
    const int videoKbit = settings.values.at(static_cast<int>(ParamList::VideoBitrate)).toInt();
    const int audioKbit = settings.values.at(static_cast<int>(ParamList::AudioBitrate)).toInt();
    const qint64 bound = videoKbit > 0 || audioKbit > 0
                             ? qint64(videoKbit + audioKbit) * 1000 / 8 * kSourceSeconds * 3 / 2 + 256 * 1024
                             : qint64(12) * 1024 * 1024;
    EXPECT_LE(QFileInfo(output).size(), bound);
    EXPECT_EQ(scratchLeft(QFileInfo(output).path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Shipped,
                         ShippedProfile,
                         ::testing::ValuesIn(shippedPaths()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param.substr(param.param.find('/') + 1);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             }
                             return name;
                         });

class ConvertJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!ConvertSource::instance().ok)
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is missing or could not make the source clip");
        ASSERT_TRUE(m_dir.isValid());
        m_source = ConvertSource::instance().path;
        m_before = digest(m_source);
    }
    void TearDown() override
    {
        if (!m_before.isEmpty()) {
            EXPECT_EQ(digest(m_source), m_before) << "the source must never change";
        }
    }
    QString out(const QString& name) const { return m_dir.filePath(name); }
    static ConvertJob::Settings vp8()
    {
        const ProfileSet set = ProfileStore::shippedSet();
        ConvertJob::Settings settings =
            ConvertJob::defaults(set, set.indexOfPath(QStringLiteral("video_formats/webm")));
        settings.values.at(static_cast<int>(ParamList::VideoCodec)) = QStringLiteral("VP8");
        return settings;
    }
    static ConvertJob::Settings mp3()
    {
        const ProfileSet set = ProfileStore::shippedSet();
        return ConvertJob::defaults(set, set.indexOfPath(QStringLiteral("audio_formats/mp3")));
    }

    QTemporaryDir m_dir;
    QString m_source;
    QByteArray m_before;
};

TEST_F(ConvertJobTest, NoMediaIsRefusedWithFfmpegsReason)
{
    const QString text = out(QStringLiteral("notes.mp4"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("these are no frames\n");
    file.close();
    ConvertJob job;
    ASSERT_TRUE(job.start({{text, out(QStringLiteral("notes.mp3")), 0}}, mp3()));
    const QList<ConvertJob::FileResult> results = job.wait();
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results.first().code, ConvertJob::FileResult::Code::Refused);
    EXPECT_TRUE(results.first().error.contains(QLatin1String("Invalid data found when processing input")))
        << results.first().error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out(QStringLiteral("notes.mp3"))));
}

TEST_F(ConvertJobTest, FailureGivesFfmpegsLastLineAndLeavesNothing)
{
    ConvertJob::Settings settings = mp3();
    settings.values.at(static_cast<int>(ParamList::AudioCodec)) = QStringLiteral("libnothing");
    const QString output = out(QStringLiteral("song.mp3"));
    ConvertJob job;
    ASSERT_TRUE(job.start({{m_source, output, 0}}, settings));
    const QList<ConvertJob::FileResult> results = job.wait();
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results.first().code, ConvertJob::FileResult::Code::Failed);
    EXPECT_TRUE(results.first().error.contains(QLatin1String("libnothing"))) << results.first().error.toStdString();
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList());
}

TEST_F(ConvertJobTest, OverwriteQuestionAndTheSourceAsItsOwnOutput)
{
    const QString output = out(QStringLiteral("song.mp3"));
    QFile earlier(output);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    QStringList asked;
    ConvertJob job;
    job.confirmOverwrite = [&asked](const QString& path) {
        asked << path;
        return false;
    };
    // No skips the file and moves on to the next; the earlier file stays as it was.
    ASSERT_TRUE(job.start({{m_source, output, 0}, {m_source, out(QStringLiteral("other.mp3")), 0}}, mp3()));
    QList<ConvertJob::FileResult> results = job.wait();
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results.at(0).code, ConvertJob::FileResult::Code::Skipped);
    EXPECT_EQ(results.at(1).code, ConvertJob::FileResult::Code::Converted);
    EXPECT_EQ(asked, QStringList{output});
    EXPECT_EQ(digest(output), QCryptographicHash::hash("earlier", QCryptographicHash::Sha256));

    job.confirmOverwrite = [](const QString&) { return true; };
    ASSERT_TRUE(job.start({{m_source, output, 0}}, mp3()));
    results = job.wait();
    ASSERT_EQ(results.first().code, ConvertJob::FileResult::Code::Converted);
    EXPECT_EQ(probe(output).audioCodec, QStringLiteral("mp3"));

    // Converting a file onto itself would destroy it, whatever the answer.
    ASSERT_TRUE(job.start({{m_source, m_source, 0}}, mp3()));
    results = job.wait();
    EXPECT_EQ(results.first().code, ConvertJob::FileResult::Code::Refused);
}

TEST_F(ConvertJobTest, ProgressSkipAndCancelLeaveNoPartialFile)
{
    // A long source converted slowly enough to be stopped in the middle.
    const QString longSource = out(QStringLiteral("long.mkv"));
    ASSERT_TRUE(MediaFixture::make(longSource, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                QStringLiteral("testsrc=size=160x120:rate=10:duration=600"),
                                                QStringLiteral("-c:v"), QStringLiteral("ffv1")}));
    const ProfileSet set = ProfileStore::shippedSet();
    ConvertJob::Settings settings = ConvertJob::defaults(set, set.indexOfPath(QStringLiteral("video_formats/webm")));
    settings.values.at(static_cast<int>(ParamList::VideoCodec)) = QStringLiteral("VP8");
    ConvertJob job;
    QSignalSpy progress(&job, &ConvertJob::progressChanged);
    std::atomic<int> seen{0};
    QObject::connect(
        &job, &ConvertJob::progressChanged, &job,
        [&](int, const QString&) {
            if (seen.fetch_add(1) == 0)
                job.skip();
        },
        Qt::DirectConnection);
    const QString first = out(QStringLiteral("first.webm"));
    const QString second = out(QStringLiteral("second.webm"));
    ASSERT_TRUE(job.start({{longSource, first, 600}, {longSource, second, 600}}, settings));
    // Once the second file reports progress, the whole run is cancelled.
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.load() >= 2; }, 30000));
    job.cancel();
    const QList<ConvertJob::FileResult> results = job.wait();
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results.at(0).code, ConvertJob::FileResult::Code::Cancelled);
    EXPECT_EQ(results.at(1).code, ConvertJob::FileResult::Code::Cancelled);
    for (const QString& path : {first, second})
        EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(scratchLeft(m_dir.path()), QStringList());
    ASSERT_GE(progress.size(), 1);
    EXPECT_TRUE(progress.first().at(1).toString().startsWith(QLatin1String("Converting first.webm: ")));
    EXPECT_EQ(ToolRunner::runningToolCount(), 0);
}

// A long source that ffv1 made quickly and VP8 converts slowly enough to act in the middle.
QString makeLongSource(const QString& path)
{
    return MediaFixture::make(path, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                     QStringLiteral("testsrc=size=160x120:rate=10:duration=30"), QStringLiteral("-c:v"),
                                     QStringLiteral("ffv1")})
               ? path
               : QString();
}

TEST_F(ConvertJobTest, AUsersPartFileSurvivesAndTwoRunsToOneNameBothFinish)
{
    const QString longSource = makeLongSource(out(QStringLiteral("long.mkv")));
    ASSERT_FALSE(longSource.isEmpty());
    // The name the converter once wrote to, and removed first.
    const QString userFile = out(QStringLiteral("clip.part.webm"));
    QFile user(userFile);
    ASSERT_TRUE(user.open(QIODevice::WriteOnly));
    user.write("the user's own");
    user.close();

    // Two runs of one file to one profile at once (the second starts while the first writes):
    // each has its own scratch file, and the one that ends second takes the next free name
    // instead of replacing the first one's output.
    const QString output = out(QStringLiteral("clip.webm"));
    const ConvertJob::Settings settings = vp8();
    ConvertJob first;
    ConvertJob second;
    std::atomic<bool> secondStarted{false};
    QObject::connect(
        &first, &ConvertJob::progressChanged, &first,
        [&](int, const QString&) {
            if (!secondStarted.exchange(true))
                second.start({{longSource, output, 30}}, settings);
        },
        Qt::DirectConnection);
    ASSERT_TRUE(first.start({{longSource, output, 30}}, settings));
    const QList<ConvertJob::FileResult> one = first.wait();
    ASSERT_TRUE(secondStarted.load());
    const QList<ConvertJob::FileResult> two = second.wait();
    ASSERT_EQ(one.size(), 1);
    ASSERT_EQ(two.size(), 1);
    EXPECT_EQ(one.first().code, ConvertJob::FileResult::Code::Converted) << one.first().error.toStdString();
    EXPECT_EQ(two.first().code, ConvertJob::FileResult::Code::Converted) << two.first().error.toStdString();
    const QStringList outputs{one.first().output, two.first().output};
    EXPECT_TRUE(outputs.contains(output)) << outputs.join(u' ').toStdString();
    EXPECT_TRUE(outputs.contains(out(QStringLiteral("clip (2).webm")))) << outputs.join(u' ').toStdString();
    for (const QString& path : outputs)
        EXPECT_NEAR(probe(path).duration, 30, 0.5) << path.toStdString();
    EXPECT_EQ(digest(userFile), QCryptographicHash::hash("the user's own", QCryptographicHash::Sha256));
    EXPECT_EQ(scratchLeft(m_dir.path()), QStringList());
}

TEST_F(ConvertJobTest, AnOutputThatAppearsDuringTheConversionStays)
{
    const QString longSource = makeLongSource(out(QStringLiteral("long.mkv")));
    ASSERT_FALSE(longSource.isEmpty());
    const ConvertJob::Settings settings = vp8();
    const QString output = out(QStringLiteral("clip.webm"));
    ConvertJob job;
    std::atomic<bool> written{false};
    // The user (or another program) saves a file under the output's name while ffmpeg runs.
    QObject::connect(
        &job, &ConvertJob::progressChanged, &job,
        [&](int, const QString&) {
            if (written.exchange(true))
                return;
            QFile appeared(output);
            if (appeared.open(QIODevice::NewOnly))
                appeared.write("appeared meanwhile");
        },
        Qt::DirectConnection);
    ASSERT_TRUE(job.start({{longSource, output, 30}}, settings));
    const QList<ConvertJob::FileResult> results = job.wait();
    ASSERT_EQ(results.size(), 1);
    ASSERT_TRUE(written.load());
    EXPECT_EQ(results.first().code, ConvertJob::FileResult::Code::Converted) << results.first().error.toStdString();
    EXPECT_EQ(results.first().output, out(QStringLiteral("clip (2).webm")));
    EXPECT_EQ(digest(output), QCryptographicHash::hash("appeared meanwhile", QCryptographicHash::Sha256));
    EXPECT_NEAR(probe(results.first().output).duration, 30, 0.5);
    EXPECT_EQ(scratchLeft(m_dir.path()), QStringList());
}

} // namespace
