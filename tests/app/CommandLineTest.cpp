#include "app/CommandLine.h"
#include "app/ParseWords.h"

#include <gtest/gtest.h>

namespace {

CommandLine parse(std::initializer_list<const char*> words)
{
    return parseWords(words);
}

TEST(CommandLineTest, MinIsAWholeArgumentOfItsOwn)
{
    struct Row
    {
        QStringList arguments; // after the program's path
        bool hidden;
    };
    const Row rows[] = {
        {{QStringLiteral("/min")}, true},
        {{QStringLiteral("--headless"), QStringLiteral("/min")}, true},
        {{QStringLiteral("--headless")}, false},
        {{QStringLiteral("/MIN")}, false},
        {{QStringLiteral("x/minimal")}, false},
        // A value that holds the text is no request to start hidden.
        {{QStringLiteral("--data-dir"), QStringLiteral("/tmp/minutes")}, false},
        {{QStringLiteral("--data-dir"), QStringLiteral("/min")}, false},
        {{QStringLiteral("--data-dir"), QStringLiteral("/min"), QStringLiteral("/min")}, true},
    };
    for (const Row& row : rows) {
        const CommandLine line = CommandLine::parse(QStringList{QStringLiteral("/usr/bin/trawlix")} + row.arguments);
        EXPECT_TRUE(line.error.isEmpty()) << qPrintable(line.error);
        EXPECT_EQ(line.startHidden, row.hidden) << qPrintable(row.arguments.join(u' '));
    }
    // The program's own path is not an argument.
    EXPECT_FALSE(CommandLine::parse({QStringLiteral("/opt/min/trawlix")}).startHidden);
    EXPECT_FALSE(CommandLine::parse({QStringLiteral("/min")}).startHidden);
}

TEST(CommandLineTest, OptionsAndValues)
{
    const CommandLine line =
        parse({"--data-dir", "/tmp/lib", "--headless", "--pcap", "a.pcap", "--interface", "lo", "--list"});
    EXPECT_TRUE(line.error.isEmpty());
    EXPECT_EQ(line.dataDir, QStringLiteral("/tmp/lib"));
    EXPECT_EQ(line.pcapFile, QStringLiteral("a.pcap"));
    EXPECT_EQ(line.interfaceName, QStringLiteral("lo"));
    EXPECT_TRUE(line.headless);
    EXPECT_TRUE(line.list);
}

TEST(CommandLineTest, MistakesAreReported)
{
    EXPECT_FALSE(parse({"--data-dir"}).error.isEmpty());
    EXPECT_FALSE(parse({"--frobnicate"}).error.isEmpty());
}

TEST(CommandLineTest, RecordTakesBoundedSecondsAndAKnownFormat)
{
    struct Row
    {
        std::initializer_list<const char*> arguments;
        int seconds;
        const char* format;
        bool error;
    };
    for (const Row& row :
         {Row{{"--record", "5"}, 5, "mp3", false}, Row{{"--record", "2", "--format", "wav"}, 2, "wav", false},
          Row{{"--format", "mp3", "--record", "86400"}, 86400, "mp3", false}, Row{{"--record", "0"}, 0, "mp3", true},
          Row{{"--record", "86401"}, 0, "mp3", true}, Row{{"--record", "5s"}, 0, "mp3", true},
          Row{{"--record"}, 0, "mp3", true}, Row{{"--record", "5", "--format", "ogg"}, 5, "", true},
          Row{{"--format", "wav"}, 0, "wav", true}}) {
        const CommandLine line = parse(row.arguments);
        const std::string shown = QStringList(line.error).join(QString()).toStdString();
        EXPECT_EQ(!line.error.isEmpty(), row.error) << shown;
        if (!row.error) {
            EXPECT_EQ(line.recordSeconds, row.seconds);
            EXPECT_EQ(line.recordFormat, QString::fromLatin1(row.format));
        }
    }
}

} // namespace
