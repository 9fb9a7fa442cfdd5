// The main window under a real X server and window manager keeps its place across starts: a
// user who closes it and starts the program again finds it where it was, not a title bar higher.
#include "support/BuiltProgram.h"
#include "support/SkipUnlessCi.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// A process that is ended (terminate, then kill) when the test leaves.
class Background final
{
public:
    bool start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
        return m_process.waitForStarted(10000);
    }
    ~Background()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};

int freeDisplay()
{
    for (int number = 150 + int(QCoreApplication::applicationPid() % 100); number < 500; ++number) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            return number;
    }
    return -1;
}

// Runs a tool on the display to its end; its output.
QString runOn(const QProcessEnvironment& environment, const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

TEST(WindowPlacementOnX, TheWindowStaysWhereItWasClosed)
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            TRAWLIX_SKIP_UNLESS_CI(tool << " is not installed (packages xvfb, openbox, xdotool)");
    }
    if (!BuiltProgram::built())
        TRAWLIX_SKIP_UNLESS_CI("the desktop program is not built");

    const int display = freeDisplay();
    ASSERT_GT(display, 0);
    const QString name = QStringLiteral(":%1").arg(display);
    QProcessEnvironment x = QProcessEnvironment::systemEnvironment();
    x.insert(QStringLiteral("DISPLAY"), name);
    Background server;
    ASSERT_TRUE(server.start(QStringLiteral("Xvfb"),
                             {name, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1600x1000x24"),
                              QStringLiteral("-nolisten"), QStringLiteral("tcp")},
                             x));
    const QDeadlineTimer up(10000);
    while (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)) && !up.hasExpired())
        QThread::msleep(50);
    QTemporaryDir wmHome;
    QProcessEnvironment wmEnvironment = x;
    wmEnvironment.insert(QStringLiteral("HOME"), wmHome.path());
    Background manager;
    ASSERT_TRUE(manager.start(QStringLiteral("openbox"), {}, wmEnvironment));
    QThread::msleep(500); // the manager takes the screen before the window maps

    QTemporaryDir folder;
    BuiltProgram trawlix(folder.path(), BuiltProgram::Mode::Desktop);
    trawlix.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    trawlix.setEnvironment(QStringLiteral("DISPLAY"), name);
    trawlix.traceOn();
    trawlix.setSetting(QStringLiteral("restoremainwindow"), QStringLiteral("true"));
    trawlix.setSetting(QStringLiteral("window"), QStringLiteral("1000x700:200;150"));

    QStringList stored;
    for (int start = 0; start < 3; ++start) {
        ASSERT_TRUE(trawlix.start({}));
        ASSERT_TRUE(trawlix.waitForOutput("Window: shown", 30000)) << trawlix.output().constData();
        const QString window =
            runOn(x, QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--name"), QStringLiteral("^Trawlix$")})
                .section(QLatin1Char('\n'), 0, 0);
        ASSERT_FALSE(window.isEmpty());
        trawlix.settle(1000); // the manager has framed and placed it
        // Closed as a user closes it: the window manager's close (Alt+F4).
        runOn(x, QStringLiteral("xdotool"),
              {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window, QStringLiteral("key"),
               QStringLiteral("alt+F4")});
        EXPECT_EQ(trawlix.waitForExit(20000), 0);
        stored << trawlix.setting(QStringLiteral("window"));
    }
    EXPECT_EQ(stored, QStringList(3, QStringLiteral("1000x700:200;150")));
}

} // namespace
