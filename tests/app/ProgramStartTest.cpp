#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ProgramStartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the desktop program is not built (TRAWLIX_BUILD_GUI=OFF)");
        ASSERT_TRUE(m_dir.isValid());
        m_data = m_dir.filePath(QStringLiteral("data"));
    }

    // A live run of the program with exactly these arguments, its trace on.
    std::unique_ptr<BuiltProgram> start(const QStringList& arguments) const
    {
        auto program = std::make_unique<BuiltProgram>(m_dir.path(), BuiltProgram::Mode::AsGiven);
        program->traceOn();
        EXPECT_TRUE(program->start(arguments));
        return program;
    }

    QTemporaryDir m_dir;
    QString m_data;
};

TEST_F(ProgramStartTest, ASecondStartShowsTheFirstWindowAndExits)
{
    const auto first = start({QStringLiteral("--data-dir"), m_data, QStringLiteral("/min")});
    ASSERT_TRUE(first->waitForOutput("SingleInstance: listening", 20000)) << first->output().constData();
    EXPECT_TRUE(first->waitForOutput("Window: started hidden", 20000));
    EXPECT_FALSE(first->output().contains("Window: shown"));

    const auto second = start({QStringLiteral("--data-dir"), m_data});
    EXPECT_EQ(second->waitForExit(), 0);
    EXPECT_FALSE(second->output().contains("Window:")) << second->output().constData();

    EXPECT_TRUE(first->waitForOutput("SingleInstance: show request received", 20000));
    EXPECT_TRUE(first->waitForOutput("Window: shown", 20000));
    EXPECT_EQ(first->stop(), 0);
}

TEST_F(ProgramStartTest, ACrashedInstanceDoesNotBlockTheNextStart)
{
    {
        const auto crashed = start({QStringLiteral("--headless"), QStringLiteral("--data-dir"), m_data});
        ASSERT_TRUE(crashed->waitForOutput("SingleInstance: listening", 20000));
        crashed->kill();
    }
    const auto next = start({QStringLiteral("--data-dir"), m_data, QStringLiteral("--headless")});
    EXPECT_TRUE(next->waitForOutput("SingleInstance: listening", 20000)) << next->output().constData();
    EXPECT_EQ(next->stop(), 0);
}

TEST_F(ProgramStartTest, OnlyAWholeMinArgumentStartsHidden)
{
    const auto hidden = start({QStringLiteral("--data-dir"), m_data, QStringLiteral("/min")});
    ASSERT_TRUE(hidden->waitForOutput("Window: started hidden", 20000)) << hidden->output().constData();
    EXPECT_EQ(hidden->stop(), 0);

    // A data folder whose path holds the text is no request to start hidden.
    const QString minutes = m_dir.filePath(QStringLiteral("minutes"));
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--data-dir"), minutes},
          QStringList{QStringLiteral("--data-dir"), m_data, QStringLiteral("x/minimal")}}) {
        const auto shown = start(arguments);
        ASSERT_TRUE(shown->waitForOutput("Window: shown", 20000)) << shown->output().constData();
        EXPECT_FALSE(shown->output().contains("started hidden"));
        EXPECT_EQ(shown->stop(), 0);
    }
}

TEST_F(ProgramStartTest, ListingRunsBesideARunningInstance)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    ASSERT_TRUE(QDir().mkpath(m_data + QStringLiteral("/Videos")));
    ASSERT_TRUE(MediaFixture::makeClip(m_data + QStringLiteral("/Videos/Beside clip.mp4"), 1));
    const auto running = start({QStringLiteral("--headless"), QStringLiteral("--data-dir"), m_data});
    ASSERT_TRUE(running->waitForOutput("SingleInstance: listening", 20000)) << running->output().constData();

    const auto listing =
        start({QStringLiteral("--headless"), QStringLiteral("--list"), QStringLiteral("--data-dir"), m_data});
    EXPECT_EQ(listing->waitForExit(60000), 0);
    EXPECT_TRUE(listing->output().contains("\tMP4\t00:00:01")) << listing->output().constData();
    // It neither brings the running one forward nor takes its place.
    running->settle(500);
    EXPECT_FALSE(running->output().contains("show request")) << running->output().constData();
    EXPECT_EQ(running->stop(), 0);
}

TEST_F(ProgramStartTest, HeadlessRunsTheStartUpAndListingEnds)
{
    const auto listing =
        start({QStringLiteral("--headless"), QStringLiteral("--list"), QStringLiteral("--data-dir"), m_data});
    EXPECT_EQ(listing->waitForExit(), 0);
    QFile list(m_data + QStringLiteral("/videos.xml"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), QByteArrayLiteral("<slideshow />"));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("config/Trawlix/Trawlix.conf"))));
}

// The start-up benchmark's hook: the first paint after the start's scan reports and ends the run.
TEST_F(ProgramStartTest, StartupProbeReportsTheFirstPaintedLibrary)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    ASSERT_TRUE(QDir().mkpath(m_data + QStringLiteral("/Videos")));
    for (const char* name : {"/Videos/1700000000.mp4", "/Videos/1700000100.mp4"})
        ASSERT_TRUE(MediaFixture::makeClip(m_data + QLatin1String(name), 1));
    BuiltProgram program(m_dir.path(), BuiltProgram::Mode::AsGiven);
    program.setEnvironment(QStringLiteral("TRAWLIX_STARTUP_PROBE"), QStringLiteral("1"));
    const BuiltProgram::Run run = program.run({QStringLiteral("--data-dir"), m_data}, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const QRegularExpression line(QStringLiteral("^startup: painted after \\d+ ms with 2 rows, resident \\d+ KiB$"),
                                  QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(QString::fromUtf8(run.out)).hasMatch()) << run.out.constData();
}

TEST_F(ProgramStartTest, BadArgumentsExitPointingToHelp)
{
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--frobnicate")}, QStringList{QStringLiteral("--data-dir")}}) {
        const auto bad = start(arguments);
        EXPECT_EQ(bad->waitForExit(), 2);
        // One line that names the mistake, not the whole list of options.
        EXPECT_TRUE(bad->output().contains(arguments.first().toUtf8())) << bad->output().constData();
        EXPECT_TRUE(bad->output().contains("trawlix --help")) << bad->output().constData();
        EXPECT_FALSE(bad->output().contains("Usage: trawlix")) << bad->output().constData();
    }
}

} // namespace
