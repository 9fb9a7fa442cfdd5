#include "ui/player/PlayerRules.h"
#include "support/QStringPrinter.h"
#include "ui/player/PlayButtonTracker.h"

#include <gtest/gtest.h>

namespace {

TEST(PlayerRulesTest, VolumeSteps)
{
    struct Row
    {
        int volume;
        bool amplifier;
        int minus;
        int plus;
    };
    const Row rows[] = {
        {100, false, 90, 100}, {95, false, 85, 100}, {95, true, 85, 105},  {195, true, 185, 200},
        {200, true, 190, 200}, {15, false, 1, 25},   {19, true, 1, 29},    {20, false, 10, 30},
        {5, false, 1, 15},     {1, false, 1, 11},    {0, false, 0, 10},    {110, false, 100, 100},
        {150, true, 140, 160}, {90, false, 80, 100}, {100, true, 90, 110}, {205, true, 195, 200},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PlayerRules::volumeAfterMinus(row.volume, row.amplifier), row.minus)
            << "minus from " << row.volume << (row.amplifier ? " with" : " without") << " the amplifier";
        EXPECT_EQ(PlayerRules::volumeAfterPlus(row.volume, row.amplifier), row.plus)
            << "plus from " << row.volume << (row.amplifier ? " with" : " without") << " the amplifier";
    }
}

TEST(PlayerRulesTest, VolumeNeverLeavesTheAllowedRange)
{
    for (const bool amplifier : {false, true}) {
        const int top = amplifier ? 200 : 100;
        int volume = top;
        for (int i = 0; i < 30; ++i) {
            volume = PlayerRules::volumeAfterPlus(volume, amplifier);
            ASSERT_LE(volume, top);
        }
        for (int i = 0; i < 30; ++i) {
            volume = PlayerRules::volumeAfterMinus(volume, amplifier);
            ASSERT_GE(volume, 1);
        }
        EXPECT_EQ(volume, 1);
        EXPECT_EQ(PlayerRules::clampVolume(250, amplifier), top);
        EXPECT_EQ(PlayerRules::clampVolume(-4, amplifier), 0);
    }
}

TEST(PlayerRulesTest, PlayRestartsOnlyAPausedPreview)
{
    const std::pair<qint64, bool> rows[] = {
        {-1, false}, {0, false}, {1000, false}, {1001, true}, {1300, true}, {1999, true}, {2000, false}, {5000, false},
    };
    for (const auto& [time, restarts] : rows)
        EXPECT_EQ(PlayerRules::restartsFromStart(time), restarts) << time << " ms";
}

TEST(PlayerRulesTest, OnlyExactTrueKeepsTheAspect)
{
    EXPECT_FALSE(PlayerRules::stretchesTo16by9(QStringLiteral("true")));
    for (const char* stored : {"", "false", "TRUE", "True", " true", "1"})
        EXPECT_TRUE(PlayerRules::stretchesTo16by9(QString::fromLatin1(stored))) << stored;
}

TEST(PlayerRulesTest, AudioPathsByTheirEnding)
{
    for (const char* path : {"/a/b.mp3", "/a/b.M4A", "x.wav", "x.mp2", "x.aac", "x.ac3", "x.aiff", "x.flac", "x.m4r",
                             "x.OGG", "x.wma", "x.mid"})
        EXPECT_TRUE(PlayerRules::isAudioPath(QString::fromLatin1(path))) << path;
    for (const char* path : {"x.mp4", "x.ogv", "x.mp3.mkv", "", "mp3", "x.webm", "x.midi"})
        EXPECT_FALSE(PlayerRules::isAudioPath(QString::fromLatin1(path))) << path;
}

TEST(PlayerRulesTest, ClockTextAndSeek)
{
    EXPECT_EQ(PlayerRules::clockText(0), QStringLiteral("0:00:00"));
    EXPECT_EQ(PlayerRules::clockText(-1), QStringLiteral("0:00:00"));
    EXPECT_EQ(PlayerRules::clockText(61999), QStringLiteral("0:01:01"));
    EXPECT_EQ(PlayerRules::clockText(3723000), QStringLiteral("1:02:03"));
    EXPECT_EQ(PlayerRules::clockText(25LL * 3600 * 1000 + 5000), QStringLiteral("1:00:05"));
    EXPECT_EQ(PlayerRules::seekTime(60000, 50.0), 30000);
    EXPECT_EQ(PlayerRules::seekTime(-1, 50.0), 0);
    EXPECT_EQ(PlayerRules::percentOf(0.499), 49);
    EXPECT_EQ(PlayerRules::percentOf(1.0), 100);
}

TEST(PlayerRulesTest, ClockTextKeepsHoursModulo24)
{
    const struct
    {
        qint64 seconds;
        const char* expected;
    } cases[] = {
        {0, "0:00:00"},      {59, "0:00:59"},     {61, "0:01:01"},    {3599, "0:59:59"},  {3600, "1:00:00"},
        {36000, "10:00:00"}, {86399, "23:59:59"}, {86400, "0:00:00"}, {90061, "1:01:01"}, {-5, "0:00:00"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(PlayerRules::clockText(row.seconds * 1000), QString::fromLatin1(row.expected)) << row.seconds;
}

using Position = PlayButtonTracker::Position;

TEST(PlayButtonTrackerTest, TellsTheBarOnlyAboutChanges)
{
    using State = PlayerState;
    PlayButtonTracker tracker;
    const auto poll = [&tracker](State state) { return tracker.poll({state, 61000, 3723000, 0.25}); };
    const Position progress{QStringLiteral("0:01:01"), QStringLiteral("1:02:03"), 25};

    PlayButtonTracker::Update update = poll(State::Opening);
    EXPECT_FALSE(update.button || update.position || update.endAnimation || update.redrawVideo);
    EXPECT_FALSE(tracker.button());

    update = poll(State::Playing);
    EXPECT_EQ(update.button, PlayButton::Pause);
    EXPECT_EQ(update.position, progress);
    // While playing the position goes on every poll, the button only once.
    update = poll(State::Playing);
    EXPECT_FALSE(update.button);
    EXPECT_EQ(update.position, progress);
    EXPECT_EQ(tracker.button(), PlayButton::Pause);

    update = poll(State::Paused);
    EXPECT_EQ(update.button, PlayButton::Play);
    EXPECT_FALSE(update.position);
    update = poll(State::Stopped);
    EXPECT_FALSE(update.button || update.position);
    EXPECT_EQ(tracker.button(), PlayButton::Play);

    const PlayButtonTracker::Update ended = tracker.poll({State::Ended, 0, 0, 1.0});
    EXPECT_EQ(ended.button, PlayButton::Replay);
    EXPECT_TRUE(ended.endAnimation);
    EXPECT_EQ(ended.position, (Position{QString(), QString(), 100}));
    EXPECT_TRUE(ended.redrawVideo);
    update = poll(State::Ended);
    EXPECT_FALSE(update.button || update.endAnimation || update.redrawVideo);
    EXPECT_EQ(tracker.button(), PlayButton::Replay);
    // A file that cannot be played offers the play button again.
    EXPECT_EQ(poll(State::Error).button, PlayButton::Play);
}

TEST(PlayButtonTrackerTest, RefreshAlwaysSendsPositionAndButton)
{
    PlayButtonTracker tracker;
    tracker.poll({PlayerState::Playing, 0, 0, 0.0});
    const PlayButtonTracker::Update update = PlayButtonTracker::refresh({PlayerState::Stopped, -1, 60000, 0.0});
    EXPECT_TRUE(update.redrawVideo);
    EXPECT_EQ(update.position, (Position{QStringLiteral("0:00:00"), QStringLiteral("0:01:00"), 0}));
    EXPECT_EQ(update.button, PlayButton::Play);
    EXPECT_FALSE(update.endAnimation);
    EXPECT_EQ(tracker.button(), PlayButton::Pause) << "a refresh leaves the tracked button alone";

    // The end wins over the position read a moment before: a full slider with no times.
    const PlayButtonTracker::Update ended = PlayButtonTracker::refresh({PlayerState::Ended, 5000, 9000, 1.0});
    EXPECT_EQ(ended.button, PlayButton::Replay);
    EXPECT_TRUE(ended.endAnimation);
    EXPECT_EQ(ended.position, (Position{QString(), QString(), 100}));
}

} // namespace
