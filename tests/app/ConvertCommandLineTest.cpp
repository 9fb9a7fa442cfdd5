// `trawlix --convert` and `trawlix --list-profiles`: the built program converts a generated
// clip headless, reports failures with ffmpeg's words and a non-zero exit, and names its
// profiles the way --profile takes them.
#include "app/CommandLine.h"

#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProgramRun
{
    int code = -1;
    QString out;
    QString err;
};

class ConvertCommandLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        ASSERT_TRUE(m_dir.isValid());
        m_data = m_trawlix.dataDir();
    }
    ProgramRun run(const QStringList& arguments) const
    {
        const BuiltProgram::Run run = m_trawlix.run(arguments, 120000);
        return {run.exitCode, QString::fromUtf8(run.out), QString::fromUtf8(run.err)};
    }
    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.path(), BuiltProgram::Mode::Desktop};
    QString m_data;
};

TEST(ConvertCommandLineParse, OptionsBelongTogether)
{
    const auto parse = [](QStringList words) {
        words.prepend(QStringLiteral("trawlix"));
        return CommandLine::parse(words);
    };
    const CommandLine line =
        parse({QStringLiteral("--convert"), QStringLiteral("a b.mp4"), QStringLiteral("--profile"),
               QStringLiteral("audio_formats/mp3"), QStringLiteral("--output"), QStringLiteral("/tmp/o")});
    EXPECT_TRUE(line.error.isEmpty());
    EXPECT_EQ(line.convertFile, QStringLiteral("a b.mp4"));
    EXPECT_EQ(line.profile, QStringLiteral("audio_formats/mp3"));
    EXPECT_EQ(line.outputDir, QStringLiteral("/tmp/o"));
    EXPECT_FALSE(parse({QStringLiteral("--convert"), QStringLiteral("a.mp4")}).error.isEmpty());
    EXPECT_FALSE(parse({QStringLiteral("--profile"), QStringLiteral("x/y")}).error.isEmpty());
    EXPECT_FALSE(parse({QStringLiteral("--convert")}).error.isEmpty());
    EXPECT_TRUE(parse({QStringLiteral("--list-profiles")}).listProfiles);
}

TEST_F(ConvertCommandLine, ListsProfilesAndConvertsWithOne)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    const ProgramRun list = run({QStringLiteral("--list-profiles")});
    ASSERT_EQ(list.code, 0) << list.err.toStdString();
    const QStringList names = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(names.contains(QStringLiteral("video_formats/mp4")));
    EXPECT_TRUE(names.contains(QStringLiteral("audio_formats/flac")));
    EXPECT_TRUE(list.err.isEmpty()) << "the shipped set stands in, without a word: " << list.err.toStdString();

    const QString source = m_dir.filePath(QStringLiteral("My clip.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(source, 3));
    const QString out = m_dir.filePath(QStringLiteral("out"));
    const ProgramRun convert = run({QStringLiteral("--convert"), source, QStringLiteral("--profile"),
                                    QStringLiteral("audio_formats/flac"), QStringLiteral("--output"), out});
    ASSERT_EQ(convert.code, 0) << convert.err.toStdString();
    EXPECT_TRUE(convert.out.contains(QStringLiteral("100%\n")));
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/My clip.flac")).size() > 0);
    // Again: the output exists and a run without a window never overwrites it.
    const ProgramRun again = run({QStringLiteral("--convert"), source, QStringLiteral("--profile"),
                                  QStringLiteral("audio_formats/flac"), QStringLiteral("--output"), out});
    EXPECT_NE(again.code, 0);
    EXPECT_TRUE(again.err.contains(QStringLiteral("exists")));

    const ProgramRun unknown =
        run({QStringLiteral("--convert"), source, QStringLiteral("--profile"), QStringLiteral("no/such")});
    EXPECT_NE(unknown.code, 0);
}

TEST_F(ConvertCommandLine, FailuresExitNonZeroWithFfmpegsReason)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    const QString text = m_dir.filePath(QStringLiteral("notes.mp4"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("no media here\n");
    file.close();
    const QString out = m_dir.filePath(QStringLiteral("out"));
    const ProgramRun refused = run({QStringLiteral("--convert"), text, QStringLiteral("--profile"),
                                    QStringLiteral("audio_formats/mp3"), QStringLiteral("--output"), out});
    EXPECT_NE(refused.code, 0);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("Invalid data found when processing input")))
        << refused.err.toStdString();
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());

    // A malformed profiles file is reported with its line; the shipped set still converts.
    ASSERT_TRUE(QDir().mkpath(m_data));
    QFile profiles(m_data + QStringLiteral("/profiles.xml"));
    ASSERT_TRUE(profiles.open(QIODevice::WriteOnly));
    profiles.write("<root>\n<profiles>\n<profile desc=\"x\">\n</root>\n");
    profiles.close();
    const ProgramRun malformed = run({QStringLiteral("--list-profiles")});
    EXPECT_EQ(malformed.code, 0);
    EXPECT_TRUE(malformed.err.contains(QStringLiteral("line 3"))) << malformed.err.toStdString();
    EXPECT_TRUE(malformed.out.contains(QStringLiteral("audio_formats/mp3")));
}

} // namespace
