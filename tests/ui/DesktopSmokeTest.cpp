// Starts the real program on a virtual X server with a small generated library, keeps a
// screenshot of its window in the build tree (build/artifacts/) and checks what it shows.
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");
const QString kArtifacts = QStringLiteral(TRAWLIX_BINARY_DIR "/artifacts");

// A process that is ended (terminate, then kill) when the test leaves.
class Child final
{
public:
    Child() { m_process.setProcessChannelMode(QProcess::MergedChannels); }
    ~Child() { stop(); }

    QProcess& process() { return m_process; }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Waits until the merged output contains text.
    bool waitFor(const QString& text, int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (!output().contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return output().contains(text);
            m_process.waitForReadyRead(100);
        }
        return true;
    }

    QString output()
    {
        m_output += m_process.readAll();
        return QString::fromUtf8(m_output);
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

// Distinct colours in a region, counted on a coarse grid.
int colourCount(const QImage& image, const QRect& region)
{
    QSet<QRgb> colours;
    for (int y = region.top(); y <= region.bottom(); y += 3) {
        for (int x = region.left(); x <= region.right(); x += 3)
            colours.insert(image.pixel(x, y) & 0xF0F0F0);
    }
    return int(colours.size());
}

class DesktopSmokeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "import", "ffmpeg"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                TRAWLIX_SKIP_UNLESS_CI(tool << " is not installed (packages xvfb, imagemagick, ffmpeg)");
        }
        if (!QFileInfo(kBinary).isExecutable())
            TRAWLIX_SKIP_UNLESS_CI("the desktop program is not built");
        ASSERT_TRUE(m_dir.isValid());
    }

    // Three clips named by capture time, newest last, as downloads leave them.
    void makeLibrary()
    {
        const QString videos = m_dir.filePath(QStringLiteral("data/Videos/"));
        ASSERT_TRUE(QDir().mkpath(videos));
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        ASSERT_TRUE(MediaFixture::makeClip(videos + QString::number(now - 7200) + QStringLiteral(".mp4"), 3));
        ASSERT_TRUE(MediaFixture::make(videos + QString::number(now - 600) + QStringLiteral(".mkv"),
                                       {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                        QStringLiteral("smptebars=size=320x180:rate=25:duration=4"),
                                        QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")}));
        ASSERT_TRUE(MediaFixture::makeClip(videos + QString::number(now - 60) + QStringLiteral(".mp3"), 2, false));
    }

    QTemporaryDir m_dir;
};

TEST_F(DesktopSmokeTest, MainWindowShowsTheLibraryOnAnXServer)
{
    makeLibrary();
    VirtualDisplay display;
    ASSERT_TRUE(display.start(QSize(1280, 800))) << qPrintable(display.why());
    QProcessEnvironment environment = display.environment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("TRAWLIX_HOME"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    environment.insert(QStringLiteral("TRAWLIX_TRACE"), QStringLiteral("1"));

    // A tray host when one is installed, so the tray icon has somewhere to go.
    Child tray;
    const bool withTray = !QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty();
    if (withTray) {
        tray.process().setProcessEnvironment(environment);
        tray.process().start(QStringLiteral("trayer"),
                             {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                              QStringLiteral("right"), QStringLiteral("--width"), QStringLiteral("10")});
        tray.process().waitForStarted(5000);
        QThread::msleep(300); // the host claims the tray selection before the program looks for it
    }

    Child program;
    program.process().setProcessEnvironment(environment);
    program.process().start(kBinary, {QStringLiteral("--data-dir"), m_dir.filePath(QStringLiteral("data"))});
    ASSERT_TRUE(program.waitFor(QStringLiteral("Window: shown"), 30000)) << qPrintable(program.output());
    ASSERT_TRUE(program.waitFor(QStringLiteral("Window: table rows 3"), 40000)) << qPrintable(program.output());
    if (withTray) {
        EXPECT_TRUE(program.waitFor(QStringLiteral("Tray: icon shown"), 5000)) << qPrintable(program.output());
    }
    ASSERT_TRUE(QDir().mkpath(kArtifacts));
    const QString shot = kArtifacts + QStringLiteral("/trawlix-main.png");
    // The window opens at the top left of a bare X server: 888 wide.
    const QRect table(60, 45, 780, 60); // three rows under the header
    const QRect menu(0, 0, 50, 500);    // the icon rail
    const QRect thumbnails(710, 430, 170, 200);
    // Screenshots until the preview and the thumbnails are drawn (or the time is up), instead of
    // a fixed pause that is too short on a loaded machine and wasted on an idle one.
    QImage image;
    const QDeadlineTimer drawn(30000);
    for (;;) {
        QFile::remove(shot);
        Child import;
        import.process().setProcessEnvironment(environment);
        import.process().start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), shot});
        ASSERT_TRUE(import.process().waitForFinished(20000));
        EXPECT_EQ(import.process().exitCode(), 0) << qPrintable(import.output());
        image = QImage(shot);
        ASSERT_FALSE(image.isNull()) << "no screenshot at " << qPrintable(shot);
        if ((colourCount(image, table) > 8 && colourCount(image, menu) > 3 && colourCount(image, thumbnails) > 8) ||
            drawn.hasExpired())
            break;
        QThread::msleep(200);
    }
    EXPECT_GT(colourCount(image, table), 8) << "the table's rows look empty";
    EXPECT_GT(colourCount(image, menu), 3) << "the menu rail is not drawn";
    EXPECT_GT(colourCount(image, thumbnails), 8) << "the thumbnail column is empty";

    // The program ends cleanly on a termination request.
    ::kill(pid_t(program.process().processId()), SIGTERM);
    EXPECT_TRUE(program.process().waitForFinished(15000)) << qPrintable(program.output().right(3000));
}

} // namespace
