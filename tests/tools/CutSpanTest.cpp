// The cutter's time arithmetic and command texts, headless.
#include "tools/CutSpan.h"
#include "base/Texts.h"
#include "support/QStringPrinter.h"
#include "tools/CutJob.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>

namespace {

// Writes numbers with a decimal comma for the test's lifetime (Qt's default locale, and the C
// library's when the machine has a German locale).
class DecimalCommaLocale
{
public:
    DecimalCommaLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            if (std::setlocale(LC_ALL, name) != nullptr)
                break;
        }
    }
    ~DecimalCommaLocale()
    {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
};

TEST(CutSpanTest, HandlePositionsMapOntoTheMediaLength)
{
    const qint64 length = 95'040; // the player's length of a 95.04 s file
    EXPECT_EQ(CutSpan::msAtPosition(0, length), 0);
    EXPECT_EQ(CutSpan::msAtPosition(CutSpan::Scale, length), 95'000);
    EXPECT_EQ(CutSpan::tenthsText(CutSpan::msAtPosition(0, length)), QStringLiteral("0.0"));
    EXPECT_EQ(CutSpan::tenthsText(CutSpan::msAtPosition(CutSpan::Scale, length)), QStringLiteral("95.0"));
    EXPECT_EQ(CutSpan::msAtPosition(5000, 10'000), 5000);
    EXPECT_EQ(CutSpan::msAtPosition(1, 10'000), 0);          // 0.001 s shows as 0.0
    EXPECT_EQ(CutSpan::msAtPosition(20000, 10'000), 10'000); // out of range is clamped
    EXPECT_EQ(CutSpan::msAtPosition(-5, 10'000), 0);
    // A length beyond any media is clamped instead of overflowing.
    EXPECT_EQ(CutSpan::msAtPosition(CutSpan::Scale, std::numeric_limits<qint64>::max()), CutSpan::MaxMs);
}

TEST(CutSpanTest, DisplayedTimesAndFfmpegTexts)
{
    EXPECT_EQ(CutSpan::displayTime(QStringLiteral("83.4")), QStringLiteral("00:01:23.4"));
    EXPECT_EQ(CutSpan::displayTime(QStringLiteral("0.0")), QStringLiteral("00:00:00.0"));
    EXPECT_EQ(CutSpan::displayTime(QStringLiteral("3725.9")), QStringLiteral("01:02:05.9"));
    EXPECT_EQ(CutSpan::displayTimeMs(90'000'000), QStringLiteral("25:00:00.0")); // no wrap at a day
    EXPECT_EQ(CutSpan::secondsText(83'400), QStringLiteral("83.4"));
    EXPECT_EQ(CutSpan::secondsText(10'000), QStringLiteral("10.0"));
    EXPECT_EQ(CutSpan::secondsText(9'967), QStringLiteral("9.967"));
    EXPECT_EQ(CutSpan::secondsText(50), QStringLiteral("0.05"));
    // The duration column when the player knows no length.
    EXPECT_EQ(CutSpan::mediaLengthMs(0, QStringLiteral("00:01:35")), 95'000);
    EXPECT_EQ(CutSpan::mediaLengthMs(-1, QStringLiteral("n/a")), 0);
    EXPECT_EQ(CutSpan::mediaLengthMs(95'040, QStringLiteral("00:01:35")), 95'040);
}

TEST(CutSpanTest, SecondsAreReadWithPointOrComma)
{
    EXPECT_EQ(CutSpan::parseSeconds(QStringLiteral("83.4")), 83'400);
    EXPECT_EQ(CutSpan::parseSeconds(QStringLiteral("83,4")), 83'400);
    EXPECT_EQ(CutSpan::parseSeconds(QStringLiteral("95")), 95'000);
    EXPECT_EQ(CutSpan::parseSeconds(QStringLiteral(" 1.23456 ")), 1'235);
    for (const char* bad : {"", "-1", "1e3", "nan", "inf", "1.2.3", "12:00", "0x10", "99999999", ",5", "5."})
        EXPECT_FALSE(CutSpan::parseSeconds(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(CutSpanTest, TheCommandCarriesDecimalPointsUnderADecimalCommaLocale)
{
    const DecimalCommaLocale locale;
    ASSERT_EQ(QLocale().toString(83.4), QStringLiteral("83,4")); // the locale really writes commas
    // Start 83.4 s, end 95.0 s, on a keyframe (or in a file without video).
    KeyframeProbe probe;
    probe.readable = true;
    probe.hasVideo = true;
    probe.durationMs = 120'000;
    probe.keyframesUs = {0, 41'700'000, 83'400'000, 125'100'000};
    CutJob::Request request{QStringLiteral("/media/in clip.mp4"),
                            QStringLiteral("a/b:c"),
                            QStringLiteral("MP4"),
                            83'400,
                            95'000,
                            QStringLiteral("/out")};
    const CutJob::Result planned = CutJob::plan(request, probe);
    ASSERT_EQ(planned.code, CutJob::Result::Code::Cut) << planned.error.toStdString();
    EXPECT_TRUE(planned.fromKeyframe);
    EXPECT_EQ(planned.file, QStringLiteral("/out/Fragment of abc.mp4"));
    const QString text =
        CutJob::command(request.source, planned.cutStartMs, planned.lengthMs, planned.file).displayText();
    EXPECT_TRUE(text.contains(QStringLiteral("-ss 83.4 -t 11.6 -i \"/media/in clip.mp4\""))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("-vcodec copy -acodec copy -avoid_negative_ts make_zero "
                                             "\"/out/Fragment of abc.mp4\"")))
        << text.toStdString();
    EXPECT_EQ(CutSpan::tenthsText(83'400), QStringLiteral("83.4"));
    EXPECT_EQ(CutSpan::tenthsText(95'000 - 83'400), QStringLiteral("11.6"));
    EXPECT_EQ(CutSpan::parseSeconds(QLocale().toString(83.4)), 83'400);
}

TEST(CutSpanTest, TheCutStartsAtTheKeyframeAtOrBeforeTheChosenStart)
{
    KeyframeProbe probe;
    probe.readable = true;
    probe.hasVideo = true;
    probe.durationMs = 30'000;
    probe.keyframesUs = {80'000, 2'000'000, 4'000'000, 9'999'600, 12'000'000};
    EXPECT_EQ(probe.cutStartMs(0), 0);
    EXPECT_EQ(probe.cutStartMs(50), 0);        // before the first keyframe: the file's start
    EXPECT_EQ(probe.cutStartMs(2'000), 2'000); // exactly on a keyframe
    EXPECT_EQ(probe.cutStartMs(3'999), 2'000);
    EXPECT_EQ(probe.cutStartMs(10'000), 10'000); // 9.9996 s rounds up onto the keyframe, not before it
    EXPECT_EQ(probe.cutStartMs(11'900), 10'000);
    EXPECT_EQ(probe.cutStartMs(29'000), 12'000);
    probe.hasVideo = false; // audio is cut where it was chosen
    EXPECT_EQ(probe.cutStartMs(11'900), 11'900);
}

TEST(CutSpanTest, BadSpansAreRefusedWithAMessage)
{
    KeyframeProbe probe;
    probe.readable = true;
    probe.durationMs = 30'000;
    const auto planned = [&](qint64 from, qint64 to) {
        return CutJob::plan({QStringLiteral("/in.mp3"), {}, {}, from, to, QStringLiteral("/out")}, probe);
    };
    EXPECT_EQ(planned(20'000, 10'000).code, CutJob::Result::Code::EmptySpan);
    EXPECT_EQ(planned(10'000, 10'000).code, CutJob::Result::Code::EmptySpan);
    const CutJob::Result past = planned(10'000, 30'200);
    EXPECT_EQ(past.code, CutJob::Result::Code::EndPastDuration);
    EXPECT_EQ(past.error,
              tx(u"The fragment ends after the end of the file, which is ") + QStringLiteral("00:00:30.0."));
    EXPECT_EQ(planned(10'000, 30'100).code, CutJob::Result::Code::Cut); // the end rounded up to its tenth
    const CutJob::Result audio = planned(12'300, 20'000);
    EXPECT_EQ(audio.cutStartMs, 12'300);
    EXPECT_FALSE(audio.fromKeyframe);
    EXPECT_EQ(audio.lengthMs, 7'700);
    EXPECT_EQ(audio.file, QStringLiteral("/out/Fragment of in.mp3"));
    probe.readable = false;
    EXPECT_EQ(planned(0, 1'000).code, CutJob::Result::Code::Unreadable);
}

TEST(CutSpanTest, OutputNamesAreCleaned)
{
    EXPECT_EQ(CutJob::outputName(QStringLiteral("a/b:c"), QStringLiteral("MP4")),
              QStringLiteral("Fragment of abc.mp4"));
    EXPECT_EQ(CutJob::outputName(QStringLiteral("../../etc/x"), QStringLiteral("mp4")),
              QStringLiteral("Fragment of ....etcx.mp4"));
    // 150 CJK characters are 450 bytes: the name, and its scratch twin, still fit 255 bytes.
    const QString name = CutJob::outputName(QString(150, QChar(0x6f22)), QStringLiteral("mkv"));
    EXPECT_TRUE(name.endsWith(QLatin1String(".mkv")));
    EXPECT_LE(name.toUtf8().size() + 8 + 32, 255);
}

} // namespace
