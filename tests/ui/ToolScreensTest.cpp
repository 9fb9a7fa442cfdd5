// Pictures of every tool window in a light and a dark palette, at 1x and 2x, kept in
// build/test-artifacts/screens/ for a person to look at. The test runs this executable again
// for each scale (the scale is fixed when the application starts), on a virtual X server when
// Xvfb is installed, and checks that each picture is there, at its scale, in its palette.
#include "ToolWindows.h"

#include "ShellFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/VirtualDisplay.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kScreens = QStringLiteral(TRAWLIX_BINARY_DIR "/test-artifacts/screens");
const char kRenderVariable[] = "TRAWLIX_RENDER_SCREENS";

// The window's own background: a strip along its bottom edge, below every control.
double backgroundLuminance(const QImage& image)
{
    double sum = 0;
    int count = 0;
    for (int x = 2; x < image.width() - 2; x += 4) {
        sum += ToolWindows::luminance(image.pixelColor(x, image.height() - 2));
        ++count;
    }
    return count ? sum / count : 0;
}

// Run only as the child of TakesEveryWindowInBothPalettesAtBothScales.
TEST(ToolScreens, Render)
{
    const QString scale = qEnvironmentVariable(kRenderVariable);
    if (scale.isEmpty())
        GTEST_SKIP() << "started by ToolScreens.TakesEveryWindowInBothPalettesAtBothScales";
    QTemporaryDir scratch;
    ASSERT_TRUE(QDir().mkpath(kScreens));
    const QPalette old = QApplication::palette();
    for (const ToolWindows::Theme& theme : ToolWindows::themes()) {
        if (QLatin1String(theme.name) == QLatin1String("contrast"))
            continue;
        QApplication::setPalette(theme.palette);
        ShellFixture shell;
        for (const ToolWindows::Window& entry : ToolWindows::windows()) {
            const std::unique_ptr<QWidget> window = entry.open(shell, scratch.path());
            window->show();
            QTest::qWait(100); // a first paint on the X server
            const QString file =
                kScreens + QStringLiteral("/%1-%2-%3x.png")
                               .arg(QString::fromLatin1(entry.name), QString::fromLatin1(theme.name), scale);
            EXPECT_TRUE(window->grab().save(file)) << qPrintable(file);
            window->close();
        }
    }
    QApplication::setPalette(old);
}

TEST(ToolScreens, TakesEveryWindowInBothPalettesAtBothScales)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("Xvfb is not installed (package xvfb)");
    VirtualDisplay display;
    ASSERT_TRUE(display.start(QSize(2400, 1600))) << qPrintable(display.why());
    QProcessEnvironment environment = display.environment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QDir(kScreens).removeRecursively();
    for (const char* scale : {"1", "2"}) {
        QProcessEnvironment child = environment;
        child.insert(QString::fromLatin1(kRenderVariable), QString::fromLatin1(scale));
        child.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
        QProcess run;
        run.setProcessEnvironment(child);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=ToolScreens.Render")});
        ASSERT_TRUE(run.waitForFinished(180000));
        const QString output = QString::fromLocal8Bit(run.readAll());
        EXPECT_EQ(run.exitCode(), 0) << qPrintable(output.right(3000));
    }

    for (const ToolWindows::Window& entry : ToolWindows::windows()) {
        for (const char* theme : {"light", "dark"}) {
            const QString stem =
                kScreens + QLatin1Char('/') + QLatin1String(entry.name) + QLatin1Char('-') + QLatin1String(theme);
            const QImage one(stem + QStringLiteral("-1x.png"));
            const QImage two(stem + QStringLiteral("-2x.png"));
            ASSERT_FALSE(one.isNull()) << qPrintable(stem);
            ASSERT_FALSE(two.isNull()) << qPrintable(stem);
            // Twice the pixels each way at 2x: drawn at that scale, not enlarged afterwards.
            EXPECT_NEAR(double(two.width()) / one.width(), 2.0, 0.25) << qPrintable(stem);
            for (const QImage& image : {one, two}) {
                const double background = backgroundLuminance(image);
                if (QLatin1String(theme) == QLatin1String("dark"))
                    EXPECT_LT(background, 0.1) << qPrintable(stem) << " is not dark";
                else
                    EXPECT_GT(background, 0.6) << qPrintable(stem) << " is not light";
            }
        }
    }
}

} // namespace
