// Real cuts of generated media. Everything is measured on decoded pictures and sound: which
// source picture the fragment starts with, which it ends with, and where a tone starts
// relative to the first picture.
#include "tools/CutJob.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr double FrameSeconds = 1.0 / 25;
constexpr double AudioFrameSeconds = 1024.0 / 44100; // one AAC frame
constexpr double KeyframeInterval = 2.0;
constexpr double ToneStart = 12.0;

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAll());
}

// One decoded picture: its time and the checksum of its pixels.
struct Picture
{
    double seconds = 0;
    QString md5;
};

QList<Picture> pictures(const QString& file)
{
    QList<Picture> result;
    const QString text =
        run(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                       QStringLiteral("-i"), file, QStringLiteral("-map"), QStringLiteral("0:v:0"),
                                       QStringLiteral("-f"), QStringLiteral("framemd5"), QStringLiteral("-")});
    // "0,  0,  0,  1, 28800, 5b1c..." : stream, dts, pts, duration, size, md5 (stream time base)
    double timeBase = 0;
    static const QRegularExpression base(QStringLiteral("#tb 0: (\\d+)/(\\d+)"));
    if (const auto match = base.match(text); match.hasMatch())
        timeBase = match.captured(1).toDouble() / match.captured(2).toDouble();
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() == 6)
            result.append({fields.at(2).trimmed().toDouble() * timeBase, fields.at(5).trimmed()});
    }
    return result;
}

// Where the first tone after silence starts, in the file's own time.
double toneStart(const QString& file)
{
    const QString text =
        run(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-i"), file, QStringLiteral("-vn"),
                                       QStringLiteral("-af"), QStringLiteral("silencedetect=n=-30dB:d=0.2"),
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    static const QRegularExpression end(QStringLiteral("silence_end: ([0-9.]+)"));
    const auto match = end.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

QString streamTypes(const QString& file)
{
    return run(QStringLiteral("ffprobe"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                QStringLiteral("stream=codec_type"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), file})
        .simplified();
}

class CutJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        ASSERT_TRUE(m_dir.isValid());
        m_out = m_dir.filePath(QStringLiteral("documents/Trawlix"));
    }

    // 24 s of numbered test pictures with a keyframe every 2 s, and silence with a tone from 12 s.
    QString makeSource(const QString& name, bool withVideo = true, const QStringList& extra = {})
    {
        const QString path = m_dir.filePath(name);
        QStringList arguments;
        if (withVideo)
            arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                      << QStringLiteral("testsrc=size=160x120:rate=25:duration=24");
        arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                  << QStringLiteral("aevalsrc=if(between(t\\,12\\,12.5)\\,sin(2*PI*1000*t)\\,0):s=44100:d=24");
        if (withVideo)
            arguments << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p") << QStringLiteral("-c:v")
                      << QStringLiteral("libx264") << QStringLiteral("-g") << QStringLiteral("50")
                      << QStringLiteral("-keyint_min") << QStringLiteral("50") << QStringLiteral("-sc_threshold")
                      << QStringLiteral("0");
        arguments << QStringLiteral("-c:a") << QStringLiteral("aac") << extra;
        EXPECT_TRUE(MediaFixture::make(path, arguments)) << name.toStdString();
        return path;
    }

    CutJob::Request request(const QString& source, qint64 fromMs, qint64 toMs) const
    {
        return {source, QStringLiteral("clip: one"), QFileInfo(source).suffix().toUpper(), fromMs, toMs, m_out};
    }

    QStringList leftInOutput() const
    {
        return QDir(m_out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Cuts [fromMs, toMs] of a video source and checks the fragment picture by picture.
    void checkVideoCut(qint64 fromMs, qint64 toMs)
    {
        const QString source = makeSource(QStringLiteral("source.mp4"));
        const QList<Picture> sourcePictures = pictures(source);
        ASSERT_EQ(sourcePictures.size(), 24 * 25);
        QHash<QString, double> timeOf;
        for (const Picture& picture : sourcePictures)
            timeOf.insert(picture.md5, picture.seconds);

        QStringList statuses;
        const CutJob::Result result =
            CutJob::run(request(source, fromMs, toMs), [&](const QString& status) { statuses << status; });
        ASSERT_EQ(result.code, CutJob::Result::Code::Cut) << result.error.toStdString();
        EXPECT_EQ(result.file, QDir(m_out).filePath(QStringLiteral("Fragment of clip one.mp4")));
        // Each status is a percent of the span, never falling back.
        const QRegularExpression status(QStringLiteral("^(\\d{1,3})%\\.\\.Cutting: Fragment of clip one\\.mp4$"));
        int previous = 0;
        for (const QString& text : statuses) {
            const QRegularExpressionMatch match = status.match(text);
            ASSERT_TRUE(match.hasMatch()) << text.toStdString();
            EXPECT_GE(match.captured(1).toInt(), previous);
            EXPECT_LE(match.captured(1).toInt(), 100);
            previous = match.captured(1).toInt();
        }
        EXPECT_EQ(leftInOutput(), QStringList{QFileInfo(result.file).fileName()}); // no scratch file

        const QList<Picture> cut = pictures(result.file);
        ASSERT_FALSE(cut.isEmpty());
        const double from = fromMs / 1000.0;
        const double to = toMs / 1000.0;
        // The first picture is a source picture at or before the start, within one keyframe
        // interval, and it is the source's keyframe picture there: no frozen or grey head.
        ASSERT_TRUE(timeOf.contains(cut.first().md5)) << "the first picture is no picture of the source";
        const double head = timeOf.value(cut.first().md5);
        EXPECT_LE(head, from + 1e-6);
        EXPECT_GT(head, from - KeyframeInterval - 1e-6);
        EXPECT_NEAR(head / KeyframeInterval, std::round(head / KeyframeInterval), 1e-6) << head;
        EXPECT_NEAR(head, result.cutStartMs / 1000.0, 1e-3);
        // The pictures follow the source one by one, up to the chosen end.
        for (qsizetype i = 0; i < cut.size(); ++i) {
            ASSERT_NEAR(timeOf.value(cut.at(i).md5, -1), head + i * FrameSeconds, 1e-6) << "picture " << i;
        }
        EXPECT_GE(timeOf.value(cut.last().md5) + FrameSeconds, to - 1e-6);
        // The tone keeps its place against the pictures.
        const double sourceOffset = ToneStart - head;
        const double cutOffset = toneStart(result.file) - cut.first().seconds;
        EXPECT_NEAR(cutOffset, sourceOffset, AudioFrameSeconds) << "tone at " << toneStart(result.file);
        EXPECT_EQ(streamTypes(result.file), QStringLiteral("video audio"));
    }

    QTemporaryDir m_dir;
    QString m_out;
};

TEST_F(CutJobTest, ACutOnAKeyframeStartsThere)
{
    checkVideoCut(10'000, 20'000);
}

TEST_F(CutJobTest, ACutBetweenKeyframesStartsAtTheKeyframeBefore)
{
    checkVideoCut(11'300, 20'000);
}

TEST_F(CutJobTest, AudioIsCutOnFrameBoundaries)
{
    const QString source = makeSource(QStringLiteral("tone.m4a"), false);
    const CutJob::Result result = CutJob::run(request(source, 10'300, 20'000));
    ASSERT_EQ(result.code, CutJob::Result::Code::Cut) << result.error.toStdString();
    EXPECT_EQ(result.cutStartMs, 10'300);
    EXPECT_EQ(QFileInfo(result.file).fileName(), QStringLiteral("Fragment of clip one.m4a"));
    EXPECT_EQ(streamTypes(result.file), QStringLiteral("audio"));
    EXPECT_NEAR(toneStart(result.file), ToneStart - 10.3, AudioFrameSeconds);

    // A second cut of the same file keeps the first fragment.
    QFile first(result.file);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    const QByteArray firstBytes = first.readAll();
    const CutJob::Result again = CutJob::run(request(source, 1'000, 3'000));
    ASSERT_EQ(again.code, CutJob::Result::Code::Cut) << again.error.toStdString();
    EXPECT_EQ(QFileInfo(again.file).fileName(), QStringLiteral("Fragment of clip one (2).m4a"));
    QFile kept(result.file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll() == firstBytes);
}

TEST_F(CutJobTest, BadInputLeavesNothingBehind)
{
    const QString source = makeSource(QStringLiteral("source.mp4"));
    QFile text(m_dir.filePath(QStringLiteral("notes.mp4")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is no media file\n");
    text.close();
    struct Row
    {
        QString source;
        qint64 from;
        qint64 to;
        CutJob::Result::Code code;
    };
    const Row rows[] = {
        {source, 15'000, 10'000, CutJob::Result::Code::EmptySpan},
        {source, 20'000, 30'000, CutJob::Result::Code::EndPastDuration},
        {text.fileName(), 0, 1'000, CutJob::Result::Code::Unreadable},
        {m_dir.filePath(QStringLiteral("missing.mp4")), 0, 1'000, CutJob::Result::Code::Unreadable},
    };
    for (const Row& row : rows) {
        const CutJob::Result result = CutJob::run(request(row.source, row.from, row.to));
        EXPECT_EQ(result.code, row.code) << row.source.toStdString() << " " << row.from;
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_TRUE(leftInOutput().isEmpty()) << leftInOutput().join(QLatin1Char(' ')).toStdString();
    }
}

TEST_F(CutJobTest, AStoppedCutLeavesNothingBehind)
{
    const QString source = makeSource(QStringLiteral("source.mp4"));
    ToolRunner::RunFlag runFlag{false}; // cleared before ffmpeg gets going
    const CutJob::Result result = CutJob::run(request(source, 4'000, 20'000), {}, &runFlag);
    EXPECT_EQ(result.code, CutJob::Result::Code::Failed);
    EXPECT_TRUE(leftInOutput().isEmpty()) << leftInOutput().join(QLatin1Char(' ')).toStdString();
}

TEST_F(CutJobTest, AFailedCopyLeavesNoPartialFragment)
{
    // A source that ends early (a truncated download) whose header still promises all of it:
    // ffmpeg copies what there is, which is not the span.
    const QString source =
        makeSource(QStringLiteral("whole.mp4"), true, {QStringLiteral("-movflags"), QStringLiteral("+faststart")});
    QFile whole(source);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.read(whole.size() / 2);
    QFile half(m_dir.filePath(QStringLiteral("half.mp4")));
    ASSERT_TRUE(half.open(QIODevice::WriteOnly));
    half.write(bytes);
    half.close();
    const CutJob::Result result = CutJob::run(request(half.fileName(), 15'000, 20'000));
    ASSERT_EQ(result.code, CutJob::Result::Code::Failed) << result.file.toStdString();
    EXPECT_TRUE(leftInOutput().isEmpty()) << leftInOutput().join(QLatin1Char(' ')).toStdString();
}

} // namespace
