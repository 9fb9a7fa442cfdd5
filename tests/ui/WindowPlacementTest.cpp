// The main window under a real X server and window manager keeps its place across starts: a
// user who closes it and starts the program again finds it where it was, not a title bar higher,
// and a place saved on a screen that is no longer there opens on the one there is.
#include "ui/mainwindow/WindowPlacement.h"
#include "support/BuiltProgram.h"
#include "support/SkipUnlessCi.h"
#include "support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Runs a tool on the display to its end; its output.
QString runOn(const QProcessEnvironment& environment, const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// An X server with a window manager, 1600x1000, and the built program seeded to restore its place.
class WindowPlacementOnX : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                TRAWLIX_SKIP_UNLESS_CI(tool << " is not installed (packages xvfb, openbox, xdotool)");
        }
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the desktop program is not built");

        ASSERT_TRUE(m_display.start(QSize(1600, 1000), VirtualDisplay::Manager::Openbox))
            << qPrintable(m_display.why());
        m_x = m_display.environment();

        m_trawlix.emplace(m_folder.path(), BuiltProgram::Mode::Desktop);
        m_trawlix->setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_trawlix->setEnvironment(QStringLiteral("DISPLAY"), m_display.name());
        m_trawlix->traceOn();
        m_trawlix->setSetting(QStringLiteral("restoremainwindow"), QStringLiteral("true"));
    }

    // Starts the program, waits for its window and closes it as a user does (the window
    // manager's close, Alt+F4); the placement it stored.
    QString startAndClose()
    {
        BuiltProgram& trawlix = *m_trawlix;
        if (!trawlix.start({}) || !trawlix.waitForOutput("Window: shown", 30000)) {
            ADD_FAILURE() << trawlix.output().constData();
            return {};
        }
        const QString window =
            runOn(m_x, QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--name"), QStringLiteral("^Trawlix$")})
                .section(QLatin1Char('\n'), 0, 0);
        EXPECT_FALSE(window.isEmpty());
        trawlix.settle(1000); // the manager has framed and placed it
        runOn(m_x, QStringLiteral("xdotool"),
              {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window, QStringLiteral("key"),
               QStringLiteral("alt+F4")});
        EXPECT_EQ(trawlix.waitForExit(20000), 0);
        return trawlix.setting(QStringLiteral("window"));
    }

    VirtualDisplay m_display;
    QProcessEnvironment m_x;
    QTemporaryDir m_folder;
    std::optional<BuiltProgram> m_trawlix;
};

TEST_F(WindowPlacementOnX, TheWindowStaysWhereItWasClosed)
{
    m_trawlix->setSetting(QStringLiteral("window"), QStringLiteral("1000x700:200;150"));
    QStringList stored;
    for (int start = 0; start < 3; ++start)
        stored << startAndClose();
    EXPECT_EQ(stored, QStringList(3, QStringLiteral("1000x700:200;150")));
}

// A place saved on a larger screen (or one since unplugged) opens on the screen there is, whole.
TEST_F(WindowPlacementOnX, APlaceBeyondTheScreenIsBroughtBackOntoIt)
{
    m_trawlix->setSetting(QStringLiteral("window"), QStringLiteral("2400x1800:1500;900"));
    const std::optional<QRect> shown = WindowPlacement::parse(startAndClose());
    ASSERT_TRUE(shown);
    EXPECT_TRUE(QRect(0, 0, 1600, 1000).contains(*shown))
        << shown->x() << "," << shown->y() << " " << shown->width() << "x" << shown->height();
}

TEST(WindowPlacementFit, MovesAndShrinksOnlyAsFarAsNeeded)
{
    const QRect screen(0, 0, 1600, 1000);
    EXPECT_EQ(WindowPlacement::fitted(QRect(200, 150, 1000, 700), screen), QRect(200, 150, 1000, 700));
    EXPECT_EQ(WindowPlacement::fitted(QRect(1200, 150, 1000, 700), screen), QRect(600, 150, 1000, 700));
    EXPECT_EQ(WindowPlacement::fitted(QRect(100, 900, 1000, 700), screen), QRect(100, 300, 1000, 700));
    EXPECT_EQ(WindowPlacement::fitted(QRect(1500, 900, 2400, 1800), screen), screen);
    // A second screen to the right: its area counts from its own corner.
    EXPECT_EQ(WindowPlacement::fitted(QRect(0, 0, 800, 600), QRect(1600, 0, 1280, 1024)), QRect(1600, 0, 800, 600));
    // No screen area known (no screen at all): the stored rectangle as it is.
    EXPECT_EQ(WindowPlacement::fitted(QRect(5, 5, 800, 600), QRect()), QRect(5, 5, 800, 600));
}

} // namespace
