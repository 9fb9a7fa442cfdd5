#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");

// The built program, started with its own data and configuration folders and the trace on.
class Program final
{
public:
    Program(const QTemporaryDir& dir, const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TRAWLIX_TRACE"), QStringLiteral("1"));
        environment.remove(QStringLiteral("TRAWLIX_HOME"));
        m_process.setProcessEnvironment(environment);
        m_process.start(kBinary, arguments);
    }

    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    // Waits until the trace contains text.
    bool waitForTrace(const QString& text, int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        while (!trace().contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return trace().contains(text);
            m_process.waitForReadyRead(100);
        }
        return true;
    }

    QString output()
    {
        m_stdout += m_process.readAllStandardOutput();
        return QString::fromUtf8(m_stdout);
    }

    QString trace()
    {
        m_stderr += m_process.readAllStandardError();
        return QString::fromUtf8(m_stderr);
    }

    // Exit code once it ended by itself, -1 when it did not end in time or crashed.
    int waitForExit(int ms = 20000)
    {
        if (!m_process.waitForFinished(ms) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        trace();
        return m_process.exitCode();
    }

    int stop()
    {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        return waitForExit();
    }

    void crash()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
};

class ProgramStartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kBinary).isExecutable())
            TRAWLIX_SKIP_UNLESS_CI("the desktop program is not built (TRAWLIX_BUILD_GUI=OFF)");
        ASSERT_TRUE(m_dir.isValid());
        m_data = m_dir.filePath(QStringLiteral("data"));
    }

    QTemporaryDir m_dir;
    QString m_data;
};

TEST_F(ProgramStartTest, ASecondStartShowsTheFirstWindowAndExits)
{
    Program first(m_dir, {QStringLiteral("--data-dir"), m_data, QStringLiteral("/min")});
    ASSERT_TRUE(first.waitForTrace(QStringLiteral("SingleInstance: listening"))) << qPrintable(first.trace());
    EXPECT_TRUE(first.trace().contains(QStringLiteral("Window: started hidden")));
    EXPECT_FALSE(first.trace().contains(QStringLiteral("Window: shown")));

    Program second(m_dir, {QStringLiteral("--data-dir"), m_data});
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_FALSE(second.trace().contains(QStringLiteral("Window:"))) << qPrintable(second.trace());

    EXPECT_TRUE(first.waitForTrace(QStringLiteral("SingleInstance: show request received")));
    EXPECT_TRUE(first.waitForTrace(QStringLiteral("Window: shown")));
    EXPECT_EQ(first.stop(), 0);
}

TEST_F(ProgramStartTest, ACrashedInstanceDoesNotBlockTheNextStart)
{
    {
        Program crashed(m_dir, {QStringLiteral("--headless"), QStringLiteral("--data-dir"), m_data});
        ASSERT_TRUE(crashed.waitForTrace(QStringLiteral("SingleInstance: listening")));
        crashed.crash();
    }
    Program next(m_dir, {QStringLiteral("--data-dir"), m_data, QStringLiteral("--headless")});
    EXPECT_TRUE(next.waitForTrace(QStringLiteral("SingleInstance: listening"))) << qPrintable(next.trace());
    EXPECT_EQ(next.stop(), 0);
}

TEST_F(ProgramStartTest, OnlyAWholeMinArgumentStartsHidden)
{
    Program hidden(m_dir, {QStringLiteral("--data-dir"), m_data, QStringLiteral("/min")});
    ASSERT_TRUE(hidden.waitForTrace(QStringLiteral("Window: started hidden"))) << qPrintable(hidden.trace());
    EXPECT_EQ(hidden.stop(), 0);

    // A data folder whose path holds the text is no request to start hidden.
    const QString minutes = m_dir.filePath(QStringLiteral("minutes"));
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--data-dir"), minutes},
          QStringList{QStringLiteral("--data-dir"), m_data, QStringLiteral("x/minimal")}}) {
        Program shown(m_dir, arguments);
        ASSERT_TRUE(shown.waitForTrace(QStringLiteral("Window: shown"))) << qPrintable(shown.trace());
        EXPECT_FALSE(shown.trace().contains(QStringLiteral("started hidden")));
        EXPECT_EQ(shown.stop(), 0);
    }
}

TEST_F(ProgramStartTest, ListingRunsBesideARunningInstance)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    ASSERT_TRUE(QDir().mkpath(m_data + QStringLiteral("/Videos")));
    ASSERT_TRUE(MediaFixture::makeClip(m_data + QStringLiteral("/Videos/Beside clip.mp4"), 1));
    Program running(m_dir, {QStringLiteral("--headless"), QStringLiteral("--data-dir"), m_data});
    ASSERT_TRUE(running.waitForTrace(QStringLiteral("SingleInstance: listening"))) << qPrintable(running.trace());

    Program listing(m_dir,
                    {QStringLiteral("--headless"), QStringLiteral("--list"), QStringLiteral("--data-dir"), m_data});
    EXPECT_EQ(listing.waitForExit(60000), 0);
    EXPECT_TRUE(listing.output().contains(QStringLiteral("\tMP4\t00:00:01"))) << qPrintable(listing.output());
    // It neither brings the running one forward nor takes its place.
    QThread::msleep(500);
    EXPECT_FALSE(running.trace().contains(QStringLiteral("show request"))) << qPrintable(running.trace());
    EXPECT_EQ(running.stop(), 0);
}

TEST_F(ProgramStartTest, HeadlessRunsTheStartUpAndListingEnds)
{
    Program listing(m_dir,
                    {QStringLiteral("--headless"), QStringLiteral("--list"), QStringLiteral("--data-dir"), m_data});
    EXPECT_EQ(listing.waitForExit(), 0);
    QFile list(m_data + QStringLiteral("/videos.xml"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), QByteArrayLiteral("<slideshow />"));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("config/Trawlix/Trawlix.conf"))));
}

TEST_F(ProgramStartTest, BadArgumentsExitWithUsage)
{
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--frobnicate")}, QStringList{QStringLiteral("--data-dir")}}) {
        Program bad(m_dir, arguments);
        EXPECT_EQ(bad.waitForExit(), 2);
        EXPECT_TRUE(bad.trace().contains(QStringLiteral("Usage: trawlix"))) << qPrintable(bad.trace());
    }
}

} // namespace
