// The conversion command: the argument order, the codec mapping, the cut, output names from
// hostile titles, the locale, and the rules that never scale up or raise the frame rate.
#include "tools/ConvertCommand.h"
#include "tools/ConvertJob.h"
#include "tools/ScratchFile.h"

#include "support/QStringPrinter.h"

#include <QLocale>

#include <QFileInfo>

#include <gtest/gtest.h>

#include <clocale>

namespace {

const QString kSource = QStringLiteral("/media/in put.mp4");
const QString kOutput = QStringLiteral("/home/u/Documents/Trawlix/Clip.mp4");

ConvertRequest request(std::initializer_list<std::pair<ParamList, const char*>> values)
{
    ConvertRequest r;
    r.source = kSource;
    r.output = kOutput;
    for (const auto& [list, text] : values)
        r.values.at(static_cast<int>(list)) = QString::fromUtf8(text);
    return r;
}

// The arguments after the input file.
QStringList afterInput(const ToolCommand& command)
{
    const qsizetype input = command.arguments.indexOf(kSource);
    return input < 0 ? QStringList() : command.arguments.mid(input + 1);
}

TEST(ConvertCommandTest, EverythingOriginalOrAutoCopiesBothStreams)
{
    const ToolCommand command = ConvertCommand::build(request({{ParamList::VideoCodec, "Original"},
                                                               {ParamList::VideoBitrate, "Auto"},
                                                               {ParamList::FrameRate, "Auto"},
                                                               {ParamList::Resolution, "Original"},
                                                               {ParamList::AudioCodec, "Original"},
                                                               {ParamList::AudioBitrate, "Auto"},
                                                               {ParamList::SampleRate, "Auto"},
                                                               {ParamList::Channels, "Auto"}}));
    EXPECT_EQ(command.program, QStringLiteral("ffmpeg"));
    EXPECT_EQ(afterInput(command), (QStringList{QStringLiteral("-vcodec"), QStringLiteral("copy"),
                                                QStringLiteral("-acodec"), QStringLiteral("copy"), kOutput}));
    const qsizetype input = command.arguments.indexOf(kSource);
    ASSERT_GE(input, 2);
    EXPECT_EQ(command.arguments.at(input - 1), QStringLiteral("-i"));
    EXPECT_EQ(command.arguments.at(input - 2), QStringLiteral("-y"));
    EXPECT_FALSE(command.arguments.contains(QStringLiteral("-t")));
}

TEST(ConvertCommandTest, FullProfileInTheConverterOrder)
{
    ConvertRequest r = request({{ParamList::VideoCodec, "x264"},
                                {ParamList::VideoBitrate, "2500"},
                                {ParamList::FrameRate, "24"},
                                {ParamList::Resolution, "1280x720"},
                                {ParamList::AudioCodec, "aac"},
                                {ParamList::AudioBitrate, "128"},
                                {ParamList::SampleRate, "44100"},
                                {ParamList::Channels, "2"}});
    r.sourceFrameRate = 30;
    r.effect = 1;
    const QStringList expected{
        QStringLiteral("-vcodec"),
        QStringLiteral("libx264"),
        QStringLiteral("-pix_fmt"),
        QStringLiteral("yuv420p"),
        QStringLiteral("-r"),
        QStringLiteral("24"),
        QStringLiteral("-b:v"),
        QStringLiteral("2500k"),
        QStringLiteral("-acodec"),
        QStringLiteral("aac"),
        QStringLiteral("-b:a"),
        QStringLiteral("128k"),
        QStringLiteral("-ar"),
        QStringLiteral("44100"),
        QStringLiteral("-ac"),
        QStringLiteral("2"),
        QStringLiteral("-vf"),
        QStringLiteral("frei0r=cartoon,scale=w='min(1280,iw)':h='min(720,ih)':force_original_aspect_ratio=decrease:"
                       "force_divisible_by=2"),
        kOutput};
    EXPECT_EQ(afterInput(ConvertCommand::build(r)), expected);
}

TEST(ConvertCommandTest, CodecNamesMapToEncodersThisFfmpegHas)
{
    EXPECT_EQ(ConvertCommand::videoEncoder(QStringLiteral("x264")), QStringLiteral("libx264"));
    EXPECT_EQ(ConvertCommand::videoEncoder(QStringLiteral("xvid")), QStringLiteral("libxvid"));
    EXPECT_EQ(ConvertCommand::videoEncoder(QStringLiteral("VP8")), QStringLiteral("libvpx"));
    EXPECT_EQ(ConvertCommand::videoEncoder(QStringLiteral("Original")), QStringLiteral("copy"));
    EXPECT_EQ(ConvertCommand::videoEncoder(QStringLiteral("libvpx-vp9")), QStringLiteral("libvpx-vp9"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("aac")), QStringLiteral("aac"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("opencore_amrnb")), QStringLiteral("aac"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("mp3")), QStringLiteral("libmp3lame"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("ogg")), QStringLiteral("libvorbis"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("pcm")), QStringLiteral("pcm_s16le"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("Original")), QStringLiteral("copy"));
    EXPECT_EQ(ConvertCommand::audioEncoder(QStringLiteral("flac")), QStringLiteral("flac"));
}

TEST(ConvertCommandTest, CutFromOneMinuteToTwoAndAHalf)
{
    ConvertRequest r = request({{ParamList::VideoCodec, "Original"}, {ParamList::AudioCodec, "Original"}});
    r.cut = true;
    r.cutFrom = 60;
    r.cutTo = 150;
    EXPECT_EQ(ConvertCommand::cutLength(r), 90);
    const QStringList arguments = ConvertCommand::build(r).arguments;
    const qsizetype t = arguments.indexOf(QStringLiteral("-t"));
    ASSERT_GE(t, 0);
    EXPECT_EQ(arguments.mid(t, 6), (QStringList{QStringLiteral("-t"), QStringLiteral("90"), QStringLiteral("-ss"),
                                                QStringLiteral("60"), QStringLiteral("-y"), QStringLiteral("-i")}));
    // An empty or reversed span is no cut.
    r.cutTo = 60;
    EXPECT_EQ(ConvertCommand::cutLength(r), 0);
    EXPECT_FALSE(ConvertCommand::build(r).arguments.contains(QStringLiteral("-ss")));
    // A cut is honoured only for a run of one file.
    ConvertJob::Settings settings;
    settings.cut = true;
    settings.cutFrom = 60;
    settings.cutTo = 150;
    EXPECT_EQ(ConvertCommand::cutLength(ConvertJob::request({kSource, kOutput, 0}, settings, true, 0)), 90);
    EXPECT_EQ(ConvertCommand::cutLength(ConvertJob::request({kSource, kOutput, 0}, settings, false, 0)), 0);
}

TEST(ConvertCommandTest, OutputNamesFromTitlesWithForbiddenCharacters)
{
    const QString folder = QStringLiteral("/out/");
    EXPECT_EQ(ConvertJob::outputPath(folder, QStringLiteral(" a\\b/c|d:e*f?g>h<i\"j\tk "), QStringLiteral("mp4")),
              QStringLiteral("/out/abcdefghijk.mp4"));
    EXPECT_EQ(ConvertJob::outputPath(folder, QStringLiteral("\\/|:*?><\"\t"), QStringLiteral("mp3")),
              QStringLiteral("/out/Unnamed media file.mp3"));
    // A long title leaves room for the extension, a " (12)" and the scratch name's prefix:
    // the file system takes 255 bytes a name.
    const QString longName =
        QFileInfo(ConvertJob::outputPath(QStringLiteral("/out"), QString(300, u'x'), QStringLiteral("avi"))).fileName();
    EXPECT_TRUE(longName.startsWith(QString(200, u'x')) && longName.endsWith(QLatin1String("x.avi")));
    EXPECT_LE(longName.toUtf8().size() + 8 + ScratchFile::NameOverheadBytes, 255);
    // A title that looks like an option stays the last argument of an absolute path.
    ConvertRequest r = request({{ParamList::AudioCodec, "mp3"}});
    r.output = ConvertJob::outputPath(folder, QStringLiteral("-f null -"), QStringLiteral("mp3"));
    EXPECT_EQ(ConvertCommand::build(r).arguments.last(), QStringLiteral("/out/-f null -.mp3"));
}

TEST(ConvertCommandTest, DecimalCommaLocaleChangesNothing)
{
    ConvertRequest r = request({{ParamList::VideoCodec, "x264"},
                                {ParamList::FrameRate, "29.97"},
                                {ParamList::Resolution, "854x480"},
                                {ParamList::AudioCodec, "aac"},
                                {ParamList::AudioBitrate, "96"}});
    r.sourceFrameRate = 50;
    r.cut = true;
    r.cutFrom = 3599;
    r.cutTo = 7322;
    const QStringList plain = ConvertCommand::build(r).arguments;
    const QLocale before;
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const QStringList german = ConvertCommand::build(r).arguments;
    ConvertJob::Settings settings;
    settings.values.at(static_cast<int>(ParamList::FrameRate)) = QStringLiteral("29.97");
    const QStringList viaJob =
        ConvertCommand::build(ConvertJob::request({kSource, kOutput, 0}, settings, true, 50)).arguments;
    QLocale::setDefault(before);
    std::setlocale(LC_NUMERIC, numeric.c_str());
    EXPECT_EQ(german, plain);
    EXPECT_TRUE(german.contains(QStringLiteral("29.97")));
    EXPECT_TRUE(german.contains(QStringLiteral("3723")));
    EXPECT_TRUE(viaJob.contains(QStringLiteral("29.97")));
}

TEST(ConvertCommandTest, NeverScalesUpNorRaisesTheFrameRate)
{
    EXPECT_EQ(ConvertCommand::scaleFilter(QStringLiteral("176x144")),
              QStringLiteral("scale=w='min(176,iw)':h='min(144,ih)':force_original_aspect_ratio=decrease:"
                             "force_divisible_by=2"));
    for (const char* bad : {"Original", "1280x", "x720", "1280x720;drawtext", "1x1", "999999x2", "-1x2"})
        EXPECT_TRUE(ConvertCommand::scaleFilter(QString::fromLatin1(bad)).isEmpty()) << bad;

    ConvertRequest r = request({{ParamList::VideoCodec, "x264"}, {ParamList::FrameRate, "30"}});
    r.sourceFrameRate = 25;
    EXPECT_FALSE(ConvertCommand::build(r).arguments.contains(QStringLiteral("-r")));
    r.sourceFrameRate = 30;
    EXPECT_FALSE(ConvertCommand::build(r).arguments.contains(QStringLiteral("-r")));
    r.sourceFrameRate = 0; // unknown: the source's own rate stays
    EXPECT_FALSE(ConvertCommand::build(r).arguments.contains(QStringLiteral("-r")));
    r.sourceFrameRate = 60;
    EXPECT_TRUE(ConvertCommand::build(r).arguments.contains(QStringLiteral("-r")));
}

TEST(ConvertCommandTest, HostileParameterTextsAreLeftOut)
{
    ConvertRequest r = request({{ParamList::VideoCodec, "-filter_complex"},
                                {ParamList::VideoBitrate, "1000k -map 0"},
                                {ParamList::FrameRate, "-1"},
                                {ParamList::AudioCodec, "aac -f"},
                                {ParamList::AudioBitrate, "-128"},
                                {ParamList::SampleRate, "44100 "},
                                {ParamList::Channels, "2;"}});
    r.sourceFrameRate = 30;
    r.effect = 99;
    EXPECT_EQ(afterInput(ConvertCommand::build(r)), QStringList{kOutput});
}

TEST(ConvertCommandTest, AudioOnlyDropsVideoAndEffects)
{
    ConvertRequest r = request({{ParamList::VideoCodec, "x264"}, {ParamList::AudioCodec, "mp3"}});
    r.audioOnly = true;
    r.effect = 0;
    EXPECT_EQ(afterInput(ConvertCommand::build(r)),
              (QStringList{QStringLiteral("-vn"), QStringLiteral("-acodec"), QStringLiteral("libmp3lame"), kOutput}));
}

} // namespace
