#include "tools/LinkCommand.h"
#include "support/QStringPrinter.h"
#include "tools/LinkProgress.h"

#include <gtest/gtest.h>

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList optionsOf(const ToolCommand& command)
{
    // Everything before the paths: what decides the kind of download.
    QStringList options;
    for (const QString& argument : command.arguments) {
        if (argument == QLatin1String("--ignore-config"))
            break;
        options << argument;
    }
    return options;
}

TEST(LinkCommand, ArgumentVectors)
{
    const ToolCommand single =
        LinkCommand::build({s("https://example.org/watch?v=1"), false, {}}, s("/d/TempDownloads/"), s("/d/p"), s("m1"));
    EXPECT_EQ(single.program, s("yt-dlp"));
    EXPECT_EQ(optionsOf(single), (QStringList{s("--hls-prefer-native"), s("--ignore-errors")}));
    // The address comes last, after the end of the options: "-" at its start is no option.
    EXPECT_EQ(single.arguments.mid(single.arguments.size() - 2),
              (QStringList{s("--"), s("https://example.org/watch?v=1")}));
    const qsizetype output = single.arguments.indexOf(s("-o"));
    ASSERT_GE(output, 0);
    EXPECT_EQ(single.arguments.at(output + 1), s("%(title).160B~m1.%(ext)s"));
    for (const char* option : {"--ignore-config", "--no-update", "--no-cache-dir", "--newline"})
        EXPECT_TRUE(single.arguments.contains(s(option))) << option;
    EXPECT_FALSE(single.arguments.contains(s("-U")));
    const qsizetype paths = single.arguments.indexOf(s("--paths"));
    ASSERT_GE(paths, 0);
    EXPECT_EQ(single.arguments.mid(paths, 4),
              (QStringList{s("--paths"), s("/d/TempDownloads/"), s("--paths"), s("temp:/d/p")}));

    // Items 1 to 3 and 7 of a playlist as audio.
    const ToolCommand audio = LinkCommand::build({s(" https://www.youtube.com/playlist?list=PL1 "), true, s("1-3,7")},
                                                 s("/d/TempDownloads/"), s("/d/p"), s("m2"));
    EXPECT_EQ(optionsOf(audio), (QStringList{s("--format"), s("mp3/aac/m4a/ogg/wav"), s("--playlist-items"), s("1-3,7"),
                                             s("--hls-prefer-native"), s("--ignore-errors")}));
    EXPECT_EQ(audio.arguments.at(audio.arguments.indexOf(s("-o")) + 1), s("%(title).160B - Only Audio~m2.%(ext)s"));
    EXPECT_EQ(audio.arguments.last(), s("https://www.youtube.com/playlist?list=PL1"));

    // The display form quotes what holds spaces; a title or address never becomes a command.
    const ToolCommand hostile =
        LinkCommand::build({s("http://a.example/x\"; rm -rf ~"), false, {}}, s("/d/T/"), s("/d/p"), s("m3"));
    EXPECT_EQ(hostile.arguments.last(), s("http://a.example/x\"; rm -rf ~"));
    EXPECT_TRUE(hostile.displayText().endsWith(s(" -- \"http://a.example/x\\\"; rm -rf ~\"")));
}

TEST(LinkCommand, TitlePartKeepsItsMarkersWithinTheNameLimit)
{
    // A title of 150 CJK characters takes 450 bytes; the template cuts it to 160 bytes, and the
    // markers after it stay whole: 160 + 13 + 1 + mark + extension + yt-dlp's suffixes < 255.
    for (const bool audio : {false, true}) {
        const QString name = LinkCommand::outputTemplate(audio, s("mxfaspj3j1"));
        EXPECT_TRUE(name.startsWith(s("%(title).160B")));
        EXPECT_TRUE(name.endsWith(s("~mxfaspj3j1.%(ext)s")));
        EXPECT_EQ(name.contains(s(" - Only Audio~")), audio);
        const int worstName = LinkCommand::MaxTitleBytes + 13 + 1 + 12 + 1 + 8 + int(sizeof(".f1234.part-Frag9999"));
        EXPECT_LT(worstName, 255);
    }
}

TEST(LinkCommand, PlaylistAddresses)
{
    struct Row
    {
        const char* address;
        bool playlist;
    };
    const Row rows[] = {
        {"https://www.youtube.com/watch?v=abc&list=PL123", true},
        {"https://youtu.be/abc?list=PL123", true},
        {"https://m.youtube.com/playlist?list=PL1", true},
        {"https://www.youtube.com/watch?v=abc", false}, // the site without "list=": one video
        {"https://example.org/?list=1", false},         // "list=" elsewhere
        {"", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(LinkCommand::isPlaylistAddress(s(row.address)), row.playlist) << row.address;
    EXPECT_EQ(LinkCommand::playlistHosts(), (QStringList{s("youtube.com"), s("youtu.be")}));
}

TEST(LinkCommand, IndexField)
{
    struct Row
    {
        const char* typed;
        const char* cleaned;
        bool valid;
    };
    const Row rows[] = {
        {"1-3, 7a", "1-3,7", true},
        {"1,2,5", "1,2,5", true},
        {"e.g. 1,2,5", "1,2,5", true},
        {"12", "12", true},
        {"", "", false},
        {"abc", "", false},
        {"1,,2", "1,,2", false},
        {"-3", "-3", false},
        {"1-", "1-", false},
        {"0", "0", false},
        {"1-2-3", "1-2-3", false},
        {",1", ",1", false},
        {"1234567890", "1234567890", false}, // ten digits: beyond any playlist
    };
    for (const Row& row : rows) {
        const QString cleaned = LinkCommand::cleanIndexes(s(row.typed));
        EXPECT_EQ(cleaned, s(row.cleaned)) << row.typed;
        EXPECT_EQ(LinkCommand::validIndexes(cleaned), row.valid) << row.typed;
    }
    EXPECT_EQ(LinkCommand::cleanIndexes(QString(100000, u'1')).size(), LinkCommand::MaxItemsLength);
}

TEST(LinkCommand, OnlyWebAddressesAreHandedToTheTool)
{
    for (const char* good :
         {"http://127.0.0.1:8080/a.mp4", "https://www.youtube.com/watch?v=x", " HTTP://Example.org/ "})
        EXPECT_TRUE(LinkCommand::addressProblem(s(good)).isEmpty()) << good;
    for (const char* bad : {"", "   ", "ftp://example.org/a.mp4", "file:///etc/passwd", "-o/tmp/x", "example.org/a.mp4",
                            "http:///nohost", "javascript:alert(1)"})
        EXPECT_FALSE(LinkCommand::addressProblem(s(bad)).isEmpty()) << bad;
    EXPECT_FALSE(LinkCommand::addressProblem(s("http://a.example/") + QString(5000, u'a')).isEmpty());
}

TEST(LinkProgress, ReadsTheProgressTemplateInAnyChunks)
{
    LinkProgress progress;
    const QByteArray text = "[generic] clip: Downloading webpage\n"
                            "[download] Destination: x\n"
                            "[trawlix-progress] 1048576 4194304 NA 524288.5 6\r"
                            "[trawlix-progress] 2097152 4194304 NA 1048576 2\n";
    // One byte at a time: a line split anywhere reads the same.
    for (char byte : text)
        progress.feed(QByteArray(1, byte));
    EXPECT_DOUBLE_EQ(progress.percent(), 50.0);
    EXPECT_EQ(progress.secondsLeft(), 2);
    EXPECT_EQ(progress.totalBytes(), 4194304);
    EXPECT_EQ(progress.progressText(), s("50.0%, 1.00 MiB/s, 00:02 left"));
    EXPECT_EQ(progress.caption(), s("50.0%, 1.00 MiB/s, 00:02 left..Downloading"));
    // The progress line replaces the one before it; the tool's own lines stay above it.
    EXPECT_EQ(progress.statusText(), s("[generic] clip: Downloading webpage\n[download] Destination: x\n"
                                       "[download] 50.0% of 4.00 MiB at 1.00 MiB/s, 00:02 left"));
}

TEST(LinkProgress, PlaylistItemsErrorsAndUnknownValues)
{
    LinkProgress progress;
    progress.feed("[download] Downloading item 3 of 12\n"
                  "[trawlix-progress] 100 NA 400 NA NA\n");
    EXPECT_EQ(progress.item(), 3);
    EXPECT_EQ(progress.itemCount(), 12);
    EXPECT_EQ(progress.progressText(), s("25.0%, item 3 of 12")); // the estimate stands in for the total
    progress.feed("[trawlix-progress] 5 NA NA NA NA\n");          // no size at all: no percentage
    EXPECT_EQ(progress.percent(), -1);
    progress.feed("[trawlix-progress] -5 inf nan 1e999 -1\n" // numbers that are none are not shown
                  "[trawlix-progress] 1 2 3\n");             // a short line is an ordinary line
    EXPECT_EQ(progress.progressText(), s("item 3 of 12"));
    progress.feed("[download] Downloading item 13 of 12\n"); // impossible: ignored
    EXPECT_EQ(progress.item(), 3);

    progress.feed("ERROR: [generic] None: Unable to download webpage: HTTP Error 403: Forbidden (caused by "
                  "<HTTPError 403>); please report this issue on  https://github.com/yt-dlp/yt-dlp/issues\n");
    EXPECT_EQ(progress.errorLine(), s("[generic] None: Unable to download webpage: HTTP Error 403: Forbidden"));
    progress.feed("ERROR: Unsupported URL: http://127.0.0.1/x");
    EXPECT_TRUE(progress.finish()); // the last line has no end of its own
    EXPECT_EQ(progress.errorLine(), s("Unsupported URL: http://127.0.0.1/x"));
    EXPECT_FALSE(progress.statusText().contains(s("yt-dlp")));
}

TEST(LinkProgress, BoundsWhatItKeeps)
{
    LinkProgress progress;
    QByteArray overlong = "[download] " + QByteArray(1 << 20, 'x') + "\nshort\n";
    progress.feed(overlong);
    const QStringList lines = progress.statusText().split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.at(0).size(), LinkProgress::MaxLineBytes);
    EXPECT_EQ(lines.at(1), s("short"));
    for (int i = 0; i < 100; ++i)
        progress.feed("line\n");
    EXPECT_EQ(progress.statusText().count(u'\n') + 1, LinkProgress::MaxBlockLines);
    // A title in UTF-8 split between two chunks, and bytes that are no UTF-8 at all.
    LinkProgress titles;
    const QByteArray title = QString::fromUtf8("[download] Destination: 中文~m.mp4\n").toUtf8();
    titles.feed(title.left(27));
    titles.feed(title.mid(27));
    EXPECT_EQ(titles.statusText(), QString::fromUtf8("[download] Destination: 中文~m.mp4"));
    titles.feed("\xff\xfe\x80 broken\n");
    EXPECT_TRUE(titles.statusText().endsWith(s(" broken")));
}

TEST(LinkProgress, ReadableUnits)
{
    EXPECT_EQ(LinkProgress::sizeText(512), s("512 B"));
    EXPECT_EQ(LinkProgress::sizeText(1536), s("1.50 KiB"));
    EXPECT_EQ(LinkProgress::sizeText(52428800), s("50.0 MiB"));
    EXPECT_EQ(LinkProgress::durationText(75), s("01:15"));
    EXPECT_EQ(LinkProgress::durationText(3725), s("1:02:05"));
}

} // namespace
