#include "tools/ToolCommand.h"
#include "tools/ToolRunner.h"

#include <gtest/gtest.h>

namespace {

TEST(FfmpegTimeToSeconds, ReadsStampsAndConsumesTheText)
{
    struct Row
    {
        const char* collected;
        bool found;
        int seconds;
        const char* rest; // the collected text afterwards
    };
    const Row rows[] = {
        {"frame=1 time=00:01:23.45 bitrate=1", true, 83, "00:01:23.45 bitrate=1"},
        {"time=01:05:07.12 x", true, 3907, "01:05:07.12 x"},
        {"size=1kB time=83.45 bitrate=1", true, 83, "83.45 bitrate=1"}, // older builds: seconds
        {"time=00:00:0", true, 0, "00:00:0"},                           // split stamp: no "."
        {"time=N/A bitrate=N/A speed=N/A.", true, 0, "N/A bitrate=N/A speed=N/A."},
        {"no stamp here", false, 0, "no stamp here"},
        {"", false, 0, ""},
        {"time=00:00:05.00 time=00:00:09.00", true, 5, "00:00:05.00 time=00:00:09.00"}, // first one only
        {"time=-00:00:00.02", true, 0, "-00:00:00.02"},
        {"time=12.5", true, 12, "12.5"},
        {"time=99999999999.0", true, 2147483647, "99999999999.0"}, // clamped, never overflows
        {"time=:.", true, 0, ":."},
    };
    for (const Row& row : rows) {
        QString collected = QString::fromLatin1(row.collected);
        bool found = !row.found;
        EXPECT_EQ(ToolRunner::ffmpegTimeToSeconds(collected, &found), row.seconds) << row.collected;
        EXPECT_EQ(found, row.found) << row.collected;
        EXPECT_EQ(collected, QString::fromLatin1(row.rest)) << row.collected;
    }
}

TEST(ToolCommandTest, DisplayTextQuotesOnlyWhereNeeded)
{
    struct Row
    {
        ToolCommand command;
        const char* text;
    };
    const Row rows[] = {
        {{QStringLiteral("ffmpeg"), {QStringLiteral("-i"), QStringLiteral("/a/b.mp4")}}, "ffmpeg -i /a/b.mp4"},
        {{QStringLiteral("ffmpeg"), {QStringLiteral("-i"), QStringLiteral("/a b/c.mp4")}}, "ffmpeg -i \"/a b/c.mp4\""},
        {{QStringLiteral("yt-dlp"), {QStringLiteral("-o"), QString()}}, "yt-dlp -o \"\""},
        {{QStringLiteral("x"), {QStringLiteral("say \"hi\"; rm -rf ~")}}, "x \"say \\\"hi\\\"; rm -rf ~\""},
        {{QStringLiteral("/opt/my tools/ffmpeg"), {}}, "\"/opt/my tools/ffmpeg\""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.command.displayText(), QString::fromLatin1(row.text));
}

TEST(ToolCommandTest, FindToolLooksInPathAndMapsTheLinkTool)
{
    EXPECT_FALSE(ToolRunner::findTool(QStringLiteral("sh")).isEmpty());
    EXPECT_TRUE(ToolRunner::findTool(QStringLiteral("trawlix-no-such-tool")).isEmpty());
    EXPECT_TRUE(ToolRunner::findTool(QStringLiteral("/nonexistent/ffmpeg")).isEmpty());
    EXPECT_TRUE(ToolRunner::findTool(QString()).isEmpty());
    EXPECT_EQ(ToolRunner::findTool(QStringLiteral("youtube-dl")), ToolRunner::findTool(QStringLiteral("yt-dlp")));
}

} // namespace
