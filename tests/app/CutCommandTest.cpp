// `trawlix --cut`: its options, and the built program cutting a generated clip.
#include "app/CommandLine.h"
#include "app/ParseWords.h"
#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

CommandLine parse(std::initializer_list<const char*> words)
{
    return parseWords(words);
}

TEST(CutCommandTest, OptionsTakeSecondsWithPointOrComma)
{
    const CommandLine line = parse({"--cut", "in.mp4", "--from", "83,4", "--to", "95", "--output", "/tmp/out"});
    EXPECT_TRUE(line.error.isEmpty()) << line.error.toStdString();
    EXPECT_EQ(line.cutFile, QStringLiteral("in.mp4"));
    EXPECT_EQ(line.cutFromMs, 83'400);
    EXPECT_EQ(line.cutToMs, 95'000);
    EXPECT_EQ(line.outputDir, QStringLiteral("/tmp/out"));
    for (const auto& words : {std::initializer_list<const char*>{"--cut", "in.mp4", "--from", "1"},
                              {"--cut", "in.mp4", "--to", "1"},
                              {"--cut", "in.mp4", "--from", "-1", "--to", "2"},
                              {"--cut", "in.mp4", "--from", "1e2", "--to", "200"},
                              {"--from", "1", "--to", "2"},
                              {"--cut"},
                              {"--cut", "", "--from", "1", "--to", "2"}})
        EXPECT_FALSE(parse(words).error.isEmpty()) << *words.begin() << " " << words.size();
}

class CutProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = BuiltProgram::missingForMedia(); !missing.isEmpty())
            TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());
        ASSERT_TRUE(m_dir.isValid());
        m_clip = m_dir.filePath(QStringLiteral("my clip.mp4"));
        ASSERT_TRUE(MediaFixture::makeClip(m_clip, 6));
    }

    void startCut(QProcess& process, const QString& source, const QStringList& arguments) const
    {
        m_trawlix.prepare(process, QStringList{QStringLiteral("--cut"), source} + arguments);
        process.start();
    }

    int finish(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(60000));
        m_out = QString::fromUtf8(process.readAllStandardOutput());
        m_err = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    int cut(const QStringList& arguments)
    {
        QProcess process;
        startCut(process, m_clip, arguments);
        return finish(process);
    }

    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.path(), BuiltProgram::Mode::AsGiven}; // HOME is FOLDER/home
    QString m_clip;
    QString m_out;
    QString m_err;
};

TEST_F(CutProgramTest, PrintsThePathOfTheFragmentInTheDocumentsFolder)
{
    ASSERT_EQ(cut({QStringLiteral("--from"), QStringLiteral("1.5"), QStringLiteral("--to"), QStringLiteral("4")}), 0)
        << m_err.toStdString();
    // The documents folder and its "Trawlix" folder did not exist before.
    const QString expected = m_dir.filePath(QStringLiteral("home/Documents/Trawlix/Fragment of my clip.mp4"));
    EXPECT_EQ(m_out, expected + QLatin1Char('\n'));
    EXPECT_TRUE(QFileInfo(expected).size() > 0);
    EXPECT_TRUE(m_err.contains(QStringLiteral("The cut starts at the keyframe at 00:00:0"))) << m_err.toStdString();
}

TEST_F(CutProgramTest, BadSpansFailWithAMessageAndNoFile)
{
    const QString out = m_dir.filePath(QStringLiteral("out"));
    EXPECT_EQ(cut({QStringLiteral("--from"), QStringLiteral("4"), QStringLiteral("--to"), QStringLiteral("2"),
                   QStringLiteral("--output"), out}),
              1);
    EXPECT_TRUE(m_err.contains(QStringLiteral("must start before it ends"))) << m_err.toStdString();
    EXPECT_EQ(cut({QStringLiteral("--from"), QStringLiteral("4"), QStringLiteral("--to"), QStringLiteral("60"),
                   QStringLiteral("--output"), out}),
              1);
    EXPECT_TRUE(m_err.contains(QStringLiteral("after the end of the file, which is 00:00:06.0")))
        << m_err.toStdString();
    EXPECT_TRUE(m_out.isEmpty());
    EXPECT_TRUE(QDir(out).isEmpty());
}

// Processes on the machine whose command line names path (an ffmpeg that outlived its cut).
int processesNaming(const QString& path)
{
    int count = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (entry.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(path.toUtf8()))
            ++count;
    }
    return count;
}

TEST_F(CutProgramTest, ASignalStopsTheCutAndLeavesNoFile)
{
    // An hour of the clip: its stream copy takes seconds, so the signal comes while it runs.
    const QString source = m_dir.filePath(QStringLiteral("long.mkv"));
    ASSERT_TRUE(MediaFixture::make(source, {QStringLiteral("-stream_loop"), QStringLiteral("599"), QStringLiteral("-i"),
                                            m_clip, QStringLiteral("-c"), QStringLiteral("copy")}));
    for (const int signal : {SIGINT, SIGTERM}) {
        const QString out = m_dir.filePath(QStringLiteral("out-%1").arg(signal));
        QProcess process;
        startCut(process, source,
                 {QStringLiteral("--from"), QStringLiteral("0"), QStringLiteral("--to"), QStringLiteral("3500"),
                  QStringLiteral("--output"), out});
        ASSERT_TRUE(process.waitForStarted());
        // The signal comes once ffmpeg writes the scratch file.
        const QDir folder(out);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return !folder.entryList(QDir::Files | QDir::Hidden).isEmpty() || process.state() != QProcess::Running;
            },
            30000));
        ASSERT_EQ(process.state(), QProcess::Running) << "the cut ended before the signal";
        ::kill(static_cast<pid_t>(process.processId()), signal);

        EXPECT_EQ(finish(process), 1) << signal;
        EXPECT_TRUE(m_err.contains(QStringLiteral("nothing was cut: the cut was stopped"))) << m_err.toStdString();
        EXPECT_TRUE(m_out.isEmpty());
        EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList()) << signal;
        // The tool's death signal, and the guard that ends its group, act as the program exits:
        // give the kernel a moment to deliver them.
        EXPECT_TRUE(QTest::qWaitFor([&] { return processesNaming(out) == 0; }, 3000)) << "ffmpeg outlived the program";
    }
}

} // namespace
