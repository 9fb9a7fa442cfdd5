#include "tools/ToolCommand.h"
#include "tools/ToolRunner.h"

#include <gtest/gtest.h>

namespace {

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
