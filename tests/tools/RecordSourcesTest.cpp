#include "tools/RecordSources.h"
#include "tools/FfmpegProgress.h"
#include "tools/RecordJob.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

AudioSource alsa(const char* name, const char* description = "")
{
    return {QStringLiteral("alsa"), QString::fromUtf8(name), QString::fromUtf8(description)};
}

struct ParseCase
{
    const char* name;
    const char* input;
    const char* output;
    QList<AudioSource> expected;
};

class SourceListing : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(SourceListing, ReadsTheListedSourcesOnly)
{
    const ParseCase& c = GetParam();
    EXPECT_EQ(RecordSources::parse(QString::fromLatin1(c.input), QString::fromUtf8(c.output)), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg51,
    SourceListing,
    ::testing::Values(
        ParseCase{"the listing of ffmpeg 5.1",
                  "alsa",
                  "Auto-detected sources for alsa:\n"
                  "  null [Discard all samples (playback) or generate zero samples (capture)] (none)\n"
                  "* sonotrap [Sonotrap] (none)\n",
                  {alsa("null", "Discard all samples (playback) or generate zero samples (capture)"),
                   alsa("sonotrap", "Sonotrap")}},
        ParseCase{"a description with brackets and a name with a colon, CRLF lines",
                  "alsa",
                  "Auto-detected sources for alsa:\r\n  hw:CARD=PCH,DEV=0 [HDA [Intel] PCH] (none)\r\n",
                  {alsa("hw:CARD=PCH,DEV=0", "HDA [Intel] PCH")}},
        ParseCase{
            "nothing before the header, nothing after the list",
            "alsa",
            "  early [Early] (none)\nAuto-detected sources for alsa:\n  a [A] (none)\nsome trailer\n  late [Late]\n",
            {alsa("a", "A")}},
        ParseCase{"another input's listing is not this one",
                  "pulse",
                  "Auto-detected sources for alsa:\n  a [A] (none)\n",
                  {}},
        ParseCase{"the PulseAudio listing",
                  "pulse",
                  "Auto-detected sources for pulse:\n  ci_sink.monitor [Monitor of CISink] (none)\n",
                  {{QStringLiteral("pulse"), QStringLiteral("ci_sink.monitor"), QStringLiteral("Monitor of CISink")}}},
        ParseCase{"a failed listing",
                  "pulse",
                  "Auto-detected sources for pulse:\nCannot list sources: Generic error in an external library\n",
                  {}},
        ParseCase{"names that would read as options, or with blanks and no description, are dropped",
                  "alsa",
                  "Auto-detected sources for alsa:\n  -y [Overwrite] (none)\n  two words\n  plain\n",
                  {alsa("plain")}}),
    [](const ::testing::TestParamInfo<ParseCase>& row) { return "Case" + std::to_string(row.index); });

TEST(SourceListingBounds, ALongListingIsCutAtTheLimitAndLongLinesAreSkipped)
{
    QString output = QStringLiteral("Auto-detected sources for alsa:\n");
    output += QStringLiteral("  ") + QString(5000, u'x') + QStringLiteral(" [Long]\n");
    for (int i = 0; i < 1000; ++i)
        output += QStringLiteral("  dev%1 [D] (none)\n").arg(i);
    const QList<AudioSource> sources = RecordSources::parse(QStringLiteral("alsa"), output);
    ASSERT_EQ(sources.size(), RecordSources::MaxSources);
    EXPECT_EQ(sources.first().name, QStringLiteral("dev0"));
}

struct CheckCase
{
    const char* name;
    QList<AudioSource> listed;
    QList<bool> checked;
};

class InitialChecks : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(InitialChecks, CheckTheOwnDeviceExactlyOrTheOnlyOne)
{
    EXPECT_EQ(RecordSources::initialChecks(GetParam().listed), GetParam().checked) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Lists,
    InitialChecks,
    ::testing::Values(
        CheckCase{"the own device among others", {alsa("null", "Null"), alsa("sonotrap", "Sonotrap")}, {false, true}},
        CheckCase{"a name that only begins with Sonotrap", {alsa("x", "Sonotrap 2"), alsa("y", "Y")}, {false, false}},
        CheckCase{"the case matters", {alsa("x", "sonotrap"), alsa("y", "Y")}, {false, false}},
        CheckCase{"the only device, whatever it is", {alsa("null", "Null")}, {true}},
        CheckCase{"a name without description counts as its label", {alsa("Sonotrap"), alsa("y", "Y")}, {true, false}},
        CheckCase{"no devices", {}, {}}),
    [](const ::testing::TestParamInfo<CheckCase>& row) { return "Case" + std::to_string(row.index); });

TEST(RecordCommand, NamesEveryCheckedSourceAndTheFileInTempRecords)
{
    const ToolCommand command =
        RecordJob::command({alsa("sonotrap", "Sonotrap"), {QStringLiteral("pulse"), QStringLiteral("a b.monitor"), {}}},
                           QStringLiteral("/data/TempRecords/1700000000.mp3"), 5);
    EXPECT_EQ(command.program, QStringLiteral("ffmpeg"));
    // The level filter's readings come among the progress reports (for the window's meter).
    EXPECT_EQ(command.displayText(), QStringLiteral("ffmpeg -nostdin -hide_banner -nostats -loglevel error -progress "
                                                    "pipe:1 -f alsa -i sonotrap -f pulse -i \"a b.monitor\" -af ") +
                                         FfmpegProgress::levelFilter() +
                                         QStringLiteral(" -t 5 -y /data/TempRecords/1700000000.mp3"));
}

} // namespace
