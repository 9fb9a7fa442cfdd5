// The main window's painted controls on their own: what a click, a drag or the wheel makes
// them emit, and what their slots make them show.
#include "support/QStringPrinter.h"
#include "ui/controls/ConvertGears.h"
#include "ui/controls/MenuRail.h"
#include "ui/controls/PlayerBar.h"
#include "ui/controls/SpanSlider.h"
#include "ui/controls/ThumbnailStrip.h"
#include "ui/controls/TrafficMonitor.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

QList<ShellCommand> commandsOf(const QSignalSpy& spy)
{
    QList<ShellCommand> commands;
    for (const QList<QVariant>& call : spy)
        commands << call.at(0).value<ShellCommand>();
    return commands;
}

class PlayerBarTest : public ::testing::Test
{
protected:
    PlayerBarTest()
    {
        // The bar places its parts when it is shown at its size, as in the window.
        m_bar.resize(640, 34);
        m_bar.show();
    }

    void click(ShellCommand command)
    {
        const QRect button = m_bar.buttonRect(command);
        ASSERT_FALSE(button.isEmpty());
        QTest::mouseClick(&m_bar, Qt::LeftButton, {}, button.center());
    }

    // A press on the slider at one fraction of it, dragged to another and released there.
    void drag(double from, double to)
    {
        const QRect slider = m_bar.sliderRect();
        const auto at = [&slider](double fraction) {
            return QPoint(slider.left() + qRound(slider.width() * fraction), slider.center().y());
        };
        QTest::mousePress(&m_bar, Qt::LeftButton, {}, at(from));
        QTest::mouseMove(&m_bar, at((from + to) / 2));
        QTest::mouseRelease(&m_bar, Qt::LeftButton, {}, at(to));
    }

    PlayerBar m_bar;
};

TEST_F(PlayerBarTest, ButtonsTriggerTheirCommandsAndTheMainOneFollowsTheState)
{
    QSignalSpy commands(&m_bar, &PlayerBar::commandTriggered);
    const ShellCommand fixed[] = {ShellCommand::PlayerStrop, ShellCommand::ExternalPlayer, ShellCommand::MakeScreenShot,
                                  ShellCommand::VolumeMute,  ShellCommand::VolumeMinus,    ShellCommand::VolumePlus};
    for (const ShellCommand command : fixed)
        click(command);
    EXPECT_EQ(commandsOf(commands), QList<ShellCommand>(std::begin(fixed), std::end(fixed)));

    // The main button is the leftmost; what it does depends on the button the player set.
    const struct
    {
        PlayButton button;
        ShellCommand command;
    } states[] = {
        {PlayButton::Play, ShellCommand::PlayerPlay},
        {PlayButton::Pause, ShellCommand::PlayerPause},
        {PlayButton::Replay, ShellCommand::PlayerReplay},
    };
    const QPoint main = m_bar.buttonRect(ShellCommand::PlayerPlay).center();
    for (const auto& state : states) {
        commands.clear();
        m_bar.setButton(state.button);
        EXPECT_EQ(m_bar.button(), state.button);
        QTest::mouseClick(&m_bar, Qt::LeftButton, {}, main);
        EXPECT_EQ(commandsOf(commands), QList<ShellCommand>{state.command}) << int(state.button);
    }
    // A bar has no button for the menu's commands.
    EXPECT_TRUE(m_bar.buttonRect(ShellCommand::Burn).isEmpty());
}

TEST_F(PlayerBarTest, APressIsAClickOnlyWhenReleasedOnTheSameButton)
{
    QSignalSpy commands(&m_bar, &PlayerBar::commandTriggered);
    QTest::mousePress(&m_bar, Qt::LeftButton, {}, m_bar.buttonRect(ShellCommand::PlayerStrop).center());
    QTest::mouseRelease(&m_bar, Qt::LeftButton, {}, m_bar.buttonRect(ShellCommand::VolumePlus).center());
    QTest::mouseClick(&m_bar, Qt::RightButton, {}, m_bar.buttonRect(ShellCommand::PlayerStrop).center());
    EXPECT_TRUE(commands.isEmpty());
}

TEST_F(PlayerBarTest, TheSliderSeeksWhereItIsReleasedWithinTheTrack)
{
    QSignalSpy seeks(&m_bar, &PlayerBar::seekRequested);
    QSignalSpy commands(&m_bar, &PlayerBar::commandTriggered);
    drag(0.1, 0.25);
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_NEAR(seeks.at(0).at(0).toDouble(), 25.0, 0.5);
    EXPECT_EQ(m_bar.percent(), int(seeks.at(0).at(0).toDouble())) << "the knob stays where it was let go";

    // Released beyond either end: the end of the track, never outside 0..100.
    drag(0.5, 1.6);
    drag(0.5, -0.4);
    ASSERT_EQ(seeks.size(), 3);
    EXPECT_DOUBLE_EQ(seeks.at(1).at(0).toDouble(), 100.0);
    EXPECT_DOUBLE_EQ(seeks.at(2).at(0).toDouble(), 0.0);
    EXPECT_TRUE(commands.isEmpty()) << "a drag is no button press";
}

TEST_F(PlayerBarTest, ShowsWhatThePlayerTellsIt)
{
    m_bar.setPosition(QStringLiteral("0:01:05"), QStringLiteral("1:00:00"), 42);
    EXPECT_EQ(m_bar.positionText(), QStringLiteral("0:01:05"));
    EXPECT_EQ(m_bar.lengthText(), QStringLiteral("1:00:00"));
    EXPECT_EQ(m_bar.percent(), 42);
    m_bar.setPosition(QString(), QString(), 250);
    EXPECT_EQ(m_bar.percent(), 100);
    m_bar.setPosition(QString(), QString(), -3);
    EXPECT_EQ(m_bar.percent(), 0);

    m_bar.setVolume(105);
    EXPECT_EQ(m_bar.volumeText(), QStringLiteral("105%"));
    EXPECT_FALSE(m_bar.muted());
    m_bar.setMuted(true);
    EXPECT_EQ(m_bar.volumeText(), QStringLiteral("Выкл."));
    EXPECT_TRUE(m_bar.muted());
    m_bar.setMuted(false);
    EXPECT_EQ(m_bar.volumeText(), QStringLiteral("Вкл."));
    EXPECT_FALSE(m_bar.muted());
    // A volume step after muting shows the volume and the sound on.
    m_bar.setMuted(true);
    m_bar.setVolume(30);
    EXPECT_FALSE(m_bar.muted());

    // The end animation runs once and stops by itself.
    EXPECT_FALSE(m_bar.endAnimationRunning());
    m_bar.playEndAnimation();
    EXPECT_TRUE(m_bar.endAnimationRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_bar.endAnimationRunning(); }, 3000));
}

TEST(MenuRailControl, AClickOnAButtonTriggersItsCommandAndNothingElseDoes)
{
    MenuRail rail(true);
    rail.resize(46, 640);
    QSignalSpy commands(&rail, &MenuRail::commandTriggered);
    QList<ShellCommand> expected;
    for (int i = 0; i < MenuRail::items().size(); ++i) {
        QTest::mouseClick(&rail, Qt::LeftButton, {}, rail.buttonRect(i).center());
        expected << MenuRail::items().at(i).command;
    }
    EXPECT_EQ(commandsOf(commands), expected);
    // Every button has its own command.
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected.count(expected.at(i)), 1) << i;

    commands.clear();
    QTest::mouseClick(&rail, Qt::LeftButton, {}, QPoint(rail.width() / 2, rail.height() - 2)); // below the last
    QTest::mouseClick(&rail, Qt::RightButton, {}, rail.buttonRect(0).center());
    EXPECT_TRUE(commands.isEmpty());
    rail.press(ShellCommand::Settings);
    EXPECT_EQ(commandsOf(commands), QList<ShellCommand>{ShellCommand::Settings});
}

TEST(MonitorControl, TheSwitchAsksAndMovesOnlyWithTheAnswer)
{
    TrafficMonitor monitor;
    monitor.resize(300, 34);
    QSignalSpy commands(&monitor, &TrafficMonitor::commandTriggered);
    EXPECT_FALSE(monitor.monitoringShown());
    QTest::mouseClick(&monitor, Qt::LeftButton, {}, monitor.rect().center());
    EXPECT_EQ(commandsOf(commands), QList<ShellCommand>{ShellCommand::Enable});
    EXPECT_FALSE(monitor.monitoringShown()) << "the switch waits for the program";

    monitor.setMonitoring(true);
    EXPECT_TRUE(monitor.monitoringShown());
    commands.clear();
    QTest::mouseClick(&monitor, Qt::LeftButton, {}, monitor.rect().center());
    QTest::mouseClick(&monitor, Qt::RightButton, {}, monitor.rect().center());
    EXPECT_EQ(commandsOf(commands), QList<ShellCommand>{ShellCommand::Disable});
}

TEST(ThumbnailStripControl, AClickNamesThePhotoUnderItAfterScrolling)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("videos.xml"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray xml = "<slideshow>";
    for (int i = 0; i < 6; ++i)
        xml += "<photo image=\"160x90/" + QByteArray::number(i) + ".jpg\" video=\"" + QByteArray::number(i) +
               ".mp4\">00:00:05</photo>";
    file.write(xml + "</slideshow>");
    file.close();

    ThumbnailStrip strip(list);
    strip.resize(180, 220);
    ASSERT_EQ(strip.entryCount(), 6);
    QSignalSpy clicks(&strip, &ThumbnailStrip::photoClicked);
    const QPoint top = strip.thumbnailRect(0).center();
    QTest::mouseClick(&strip, Qt::LeftButton, {}, top);

    // Two notches down: the photo under the same spot is a later one.
    QWheelEvent wheel(QPointF(top), strip.mapToGlobal(QPointF(top)), QPoint(), QPoint(0, -240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&strip, &wheel);
    ASSERT_LT(strip.thumbnailRect(0).top(), 0);
    QTest::mouseClick(&strip, Qt::LeftButton, {}, top);
    ASSERT_EQ(clicks.size(), 2);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 0);
    EXPECT_GT(clicks.at(1).at(0).toInt(), 0);
    EXPECT_TRUE(strip.thumbnailRect(clicks.at(1).at(0).toInt()).contains(top));

    // Scrolling far down stops at the last photo; a click below it names none.
    for (int i = 0; i < 10; ++i)
        QApplication::sendEvent(&strip, &wheel);
    EXPECT_LE(strip.thumbnailRect(5).bottom(), strip.height());
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(strip.width() / 2, strip.height() - 1));
    EXPECT_EQ(clicks.size(), 2);
}

TEST(ConvertGearsControl, TurnOnlyWhileRunningAndShowAClampedPercentage)
{
    ConvertGears gears;
    EXPECT_FALSE(gears.isRunning());
    gears.start();
    EXPECT_TRUE(gears.isRunning());
    EXPECT_TRUE(gears.percentText().isEmpty());
    const struct
    {
        int percent;
        const char* shown;
    } rows[] = {{0, "0%"}, {37, "37%"}, {100, "100%"}, {140, "100%"}, {-2, "0%"}};
    for (const auto& row : rows) {
        gears.setPercent(row.percent);
        EXPECT_EQ(gears.percentText(), QString::fromLatin1(row.shown)) << row.percent;
    }
    // A new file starts without the last file's percentage; stopping clears it too.
    gears.start();
    EXPECT_TRUE(gears.percentText().isEmpty());
    gears.setPercent(5);
    gears.stop();
    EXPECT_FALSE(gears.isRunning());
    EXPECT_TRUE(gears.percentText().isEmpty());
}

TEST(SpanSliderControl, HandlesStayOrderedWithinTheScale)
{
    SpanSlider slider;
    QSignalSpy spans(&slider, &SpanSlider::spanChanged);
    const struct
    {
        int start;
        int end;
        int shownStart;
        int shownEnd;
    } rows[] = {
        {1200, 8800, 1200, 8800},
        {-5, 20000, 0, 10000},
        {7000, 3000, 7000, 7000},
        {10000, 10000, 10000, 10000},
    };
    for (const auto& row : rows) {
        spans.clear();
        slider.moveHandles(row.start, row.end);
        EXPECT_EQ(slider.start(), row.shownStart) << row.start << "," << row.end;
        EXPECT_EQ(slider.end(), row.shownEnd) << row.start << "," << row.end;
        ASSERT_EQ(spans.size(), 1);
        EXPECT_EQ(spans.at(0).at(0).toInt(), row.shownStart);
        EXPECT_EQ(spans.at(0).at(1).toInt(), row.shownEnd);
    }

    // The start handle dragged past the end stops at the end; the end handle stays.
    slider.moveHandles(2000, 6000);
    spans.clear();
    const int y = slider.height() / 2;
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(slider.handleX(2000), y));
    spans.clear(); // the press puts the handle on the pixel's own position
    QTest::mouseMove(&slider, QPoint(slider.handleX(4000), y));
    QTest::mouseMove(&slider, QPoint(slider.handleX(9000), y));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(slider.handleX(9000), y));
    EXPECT_EQ(slider.start(), 6000);
    EXPECT_EQ(slider.end(), 6000);
    ASSERT_EQ(spans.size(), 2);
    EXPECT_NEAR(spans.at(0).at(0).toInt(), 4000, 15) << "within a pixel of the scale";
    // Moving the mouse without a press moves nothing.
    QTest::mouseMove(&slider, QPoint(slider.handleX(1000), y));
    EXPECT_EQ(spans.size(), 2);
}

} // namespace
