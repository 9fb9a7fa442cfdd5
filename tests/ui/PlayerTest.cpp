#include "ui/player/Player.h"
#include "UserFolders.h"
#include "support/QStringPrinter.h"
#include "support/ScopedSettingsStore.h"
#include "ui/player/VideoArea.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// A back end that records what the player asks of it and reports what the test sets.
class RecordingBackend final : public MediaBackend
{
public:
    bool isReady() const override { return true; }
    void setVideoWindow(quintptr) override {}
    bool load(const QString& path) override
    {
        log << QStringLiteral("load ") + path;
        return true;
    }
    void play() override { log << QStringLiteral("play"); }
    void pause() override { log << QStringLiteral("pause"); }
    void stop() override { log << QStringLiteral("stop"); }
    PlayerState state() const override { return currentState; }
    qint64 time() const override { return timeMs; }
    qint64 length() const override { return lengthMs; }
    double position() const override { return 0.0; }
    void setTime(qint64 ms) override { log << QStringLiteral("seek %1").arg(ms); }
    int volume() const override { return currentVolume; }
    void setVolume(int volume) override
    {
        currentVolume = volume;
        log << QStringLiteral("volume %1").arg(volume);
    }
    bool isMuted() const override { return muted; }
    void setMuted(bool mute) override
    {
        muted = mute;
        log << QStringLiteral("mute %1").arg(mute ? 1 : 0);
    }
    bool hasVideoOutput() const override { return videoOutput; }
    void setAspectRatio(const QString& ratio) override { log << QStringLiteral("aspect ") + ratio; }
    bool takeSnapshot(const QString& filePath) override
    {
        QFile file(filePath);
        return file.open(QIODevice::WriteOnly) && file.write("png") == 3;
    }

    QStringList log;
    PlayerState currentState = PlayerState::Nothing;
    qint64 timeMs = -1;
    qint64 lengthMs = -1;
    int currentVolume = 100;
    bool muted = false;
    bool videoOutput = true;
};

class PlayerTest : public ::testing::Test
{
protected:
    PlayerTest()
    {
        auto engine = std::make_unique<RecordingBackend>();
        m_backend = engine.get();
        m_player = std::make_unique<Player>(std::move(engine), &m_area);
        m_player->setUrlOpener([this](const QUrl& url) {
            m_opened << url.toLocalFile();
            return m_openerWorks;
        });
    }

    // The log without the aspect steps that follow every load.
    QStringList commands() const
    {
        QStringList result = m_backend->log;
        result.removeIf([](const QString& entry) { return entry.startsWith(QLatin1String("aspect")); });
        return result;
    }
    int count(const QString& entry) const { return static_cast<int>(m_backend->log.count(entry)); }
    bool waitFor(const QString& entry) const
    {
        return QTest::qWaitFor([&] { return m_backend->log.contains(entry); }, 5000);
    }

    ScopedSettingsStore m_store;
    VideoArea m_area;
    RecordingBackend* m_backend = nullptr;
    std::unique_ptr<Player> m_player;
    QStringList m_opened;
    bool m_openerWorks = true;
};

TEST_F(PlayerTest, PreviewRunsOncePerPathAndPausesOnAnEarlyFrame)
{
    const QString a = QStringLiteral("/lib/1.mp4");
    const QString b = QStringLiteral("/lib/2.mp3");
    m_player->preview(a);
    EXPECT_EQ(m_backend->log.mid(0, 3),
              QStringList({QStringLiteral("mute 1"), QStringLiteral("load ") + a, QStringLiteral("play")}));
    EXPECT_FALSE(m_area.showsAudioPicture());
    m_player->preview(a);
    EXPECT_EQ(count(QStringLiteral("load ") + a), 1);
    EXPECT_TRUE(waitFor(QStringLiteral("pause")));

    m_player->preview(b);
    EXPECT_TRUE(m_area.showsAudioPicture());
    m_player->preview(a);
    EXPECT_EQ(count(QStringLiteral("load ") + a), 2);
    EXPECT_EQ(m_player->lastPreviewedPath(), a);

    // No row, no file: what plays is neither replaced nor paused.
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("pause")) == 2; }, 5000));
    m_backend->log.clear();
    m_player->preview(QString());
    QTest::qWait(Player::PreviewPauseMs + 300);
    EXPECT_TRUE(commands().isEmpty()) << commands().join(u',').toStdString();
}

TEST_F(PlayerTest, PlayAfterAPausedPreviewStartsOverWithSound)
{
    struct Row
    {
        qint64 time;
        bool seeks;
    };
    for (const Row row : {Row{1300, true}, Row{5000, false}, Row{900, false}}) {
        m_backend->log.clear();
        m_backend->muted = true;
        m_backend->timeMs = row.time;
        m_player->play();
        EXPECT_EQ(m_backend->log.contains(QStringLiteral("seek 0")), row.seeks) << row.time;
        EXPECT_EQ(m_backend->log.mid(m_backend->log.size() - 2),
                  QStringList({QStringLiteral("mute 0"), QStringLiteral("play")}))
            << row.time;
    }
}

TEST_F(PlayerTest, PlayingWithSoundCancelsThePreviewPause)
{
    m_player->preview(QStringLiteral("/lib/1.mp4"));
    m_player->playWithSound(QStringLiteral("/lib/2.mp4"));
    EXPECT_EQ(commands().mid(3, 3),
              QStringList({QStringLiteral("mute 0"), QStringLiteral("load /lib/2.mp4"), QStringLiteral("play")}));
    QTest::qWait(Player::PreviewPauseMs + 300);
    EXPECT_EQ(count(QStringLiteral("pause")), 0);
}

TEST_F(PlayerTest, StretchesTo16by9UnlessTheAspectIsKept)
{
    for (const char* stored : {"false", "", "TRUE"}) {
        m_backend->log.clear();
        m_store.settings().write(QStringLiteral("aspect"), QString::fromLatin1(stored));
        m_player->playWithSound(QStringLiteral("/lib/%1.mp4").arg(QString::fromLatin1(stored)));
        EXPECT_FALSE(m_backend->log.contains(QStringLiteral("aspect 16:9"))) << "not before the delay";
        EXPECT_TRUE(waitFor(QStringLiteral("aspect 16:9"))) << stored;
    }
    m_backend->log.clear();
    m_store.settings().write(QStringLiteral("aspect"), QStringLiteral("true"));
    m_player->preview(QStringLiteral("/lib/kept.mp4"));
    EXPECT_TRUE(m_backend->log.contains(QStringLiteral("aspect ")));
    QTest::qWait(Player::StretchDelayMs + 200);
    EXPECT_FALSE(m_backend->log.contains(QStringLiteral("aspect 16:9")));
}

TEST_F(PlayerTest, StretchWaitsForTheVideoOutput)
{
    m_store.settings().write(QStringLiteral("aspect"), QStringLiteral("false"));
    m_backend->videoOutput = false;
    m_player->playWithSound(QStringLiteral("/lib/slow.mp4"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("aspect 16:9")) >= 2; }, 5000));
    m_backend->videoOutput = true;
    const int before = count(QStringLiteral("aspect 16:9"));
    QTest::qWait(3 * Player::StretchDelayMs);
    EXPECT_LE(count(QStringLiteral("aspect 16:9")), before + 1) << "no more attempts once the output is there";
}

TEST_F(PlayerTest, VolumeButtonsFollowTheAmplifierSetting)
{
    QSignalSpy shown(m_player.get(), &Player::volumeChanged);
    m_backend->currentVolume = 95;
    m_player->volumeUp();
    EXPECT_EQ(m_backend->currentVolume, 100);
    m_store.settings().write(QStringLiteral("amplifier"), QStringLiteral("true"));
    m_backend->currentVolume = 95;
    m_player->volumeUp();
    EXPECT_EQ(m_backend->currentVolume, 105);
    m_backend->currentVolume = 15;
    m_player->volumeDown();
    EXPECT_EQ(m_backend->currentVolume, 1);
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown.at(0).at(0).toInt(), 100);
    EXPECT_EQ(shown.at(1).at(0).toInt(), 105);
    EXPECT_EQ(shown.at(2).at(0).toInt(), 1);

    // Without any audio output libvlc reports no volume: the last one set counts.
    m_backend->currentVolume = -1;
    m_player->setVolume(250);
    EXPECT_EQ(m_backend->currentVolume, 200);
    // The bar shows the volume that was set, not the one asked for.
    EXPECT_EQ(shown.last().at(0).toInt(), 200);
    m_backend->currentVolume = -1;
    m_player->volumeDown();
    EXPECT_EQ(m_backend->currentVolume, 190);
}

TEST_F(PlayerTest, MuteTogglesAndNamesTheNewState)
{
    QSignalSpy shown(m_player.get(), &Player::muteChanged);
    m_player->toggleMute();
    EXPECT_TRUE(m_backend->muted);
    m_player->toggleMute();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown.at(0).at(0).toBool());
    EXPECT_FALSE(shown.at(1).at(0).toBool());
    EXPECT_FALSE(m_backend->muted);
}

TEST_F(PlayerTest, ScreenShotOnlyWhilePausedUnderFreeNamesInPictures)
{
    const UserFolders folders;
    for (const PlayerState state : {PlayerState::Playing, PlayerState::Stopped, PlayerState::Ended}) {
        m_backend->currentState = state;
        EXPECT_EQ(m_player->makeScreenShot(), QString());
        EXPECT_FALSE(QFileInfo::exists(folders.pictures()));
    }
    // The Pictures folder is made when missing; no picture is replaced, none is opened.
    m_backend->currentState = PlayerState::Paused;
    const QString first = folders.pictures() + QStringLiteral("/Trawlix snapshot.png");
    EXPECT_EQ(m_player->makeScreenShot(), first);
    EXPECT_EQ(m_player->makeScreenShot(), folders.pictures() + QStringLiteral("/Trawlix snapshot (2).png"));
    QFile::remove(first);
    EXPECT_EQ(m_player->makeScreenShot(), first);
    EXPECT_TRUE(m_opened.isEmpty());
}

TEST_F(PlayerTest, ClickInPlayerByState)
{
    const QString selected = QStringLiteral("/lib/selected.mp4");
    struct Row
    {
        PlayerState state;
        QString lastEntry;
    };
    const Row rows[] = {
        {PlayerState::Playing, QStringLiteral("pause")},
        {PlayerState::Paused, QStringLiteral("play")},
        {PlayerState::Stopped, QStringLiteral("play")},
        {PlayerState::Ended, QStringLiteral("play")},
        {PlayerState::Opening, QString()},
    };
    for (const Row& row : rows) {
        m_backend->log.clear();
        m_backend->currentState = row.state;
        m_player->clickInPlayer(selected);
        EXPECT_EQ(commands().value(commands().size() - 1), row.lastEntry) << static_cast<int>(row.state);
        EXPECT_EQ(m_backend->log.contains(QStringLiteral("load ") + selected), row.state == PlayerState::Ended);
    }
}

TEST_F(PlayerTest, ExternalPlayerPausesAndFallsBackToTheFolder)
{
    m_backend->currentState = PlayerState::Playing;
    m_openerWorks = false;
    m_player->openInExternalPlayer(QStringLiteral("/lib/Videos/1.mp4"));
    EXPECT_TRUE(m_backend->log.contains(QStringLiteral("pause")));
    EXPECT_EQ(m_opened, QStringList({QStringLiteral("/lib/Videos/1.mp4"), QStringLiteral("/lib/Videos")}));
}

TEST_F(PlayerTest, SliderSeeksToItsShareOfTheLength)
{
    m_backend->lengthMs = 80000;
    m_player->seekToPercent(25.5);
    EXPECT_EQ(m_backend->log, QStringList({QStringLiteral("seek 20400")}));
}

TEST_F(PlayerTest, StopRefreshesTheBarAtOnce)
{
    QSignalSpy buttons(m_player.get(), &Player::buttonChanged);
    QSignalSpy positions(m_player.get(), &Player::positionChanged);
    m_backend->currentState = PlayerState::Stopped;
    m_backend->lengthMs = 60000;
    m_player->stop();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.at(0).at(0).value<PlayButton>(), PlayButton::Play);
    ASSERT_EQ(positions.size(), 1);
    EXPECT_EQ(positions.at(0).at(1).toString(), QStringLiteral("0:01:00"));
    EXPECT_FALSE(m_player->button()) << "only the poller moves the tracked button";
}

TEST(PlayerAreaTest, AreaClosingFirstStopsThePlayer)
{
    ScopedSettingsStore store;
    auto engine = std::make_unique<RecordingBackend>();
    RecordingBackend* recording = engine.get();
    auto area = std::make_unique<VideoArea>();
    Player player(std::move(engine), area.get());
    player.playWithSound(QStringLiteral("/lib/1.mp4"));
    area.reset();
    EXPECT_EQ(recording->log.value(recording->log.size() - 1), QStringLiteral("stop"));
    player.playWithSound(QStringLiteral("/lib/2.mp3")); // no area left to show a picture in
    EXPECT_TRUE(recording->log.contains(QStringLiteral("load /lib/2.mp3")));
}

TEST_F(PlayerTest, ActivationRestartsOnlyAStoppedPlayer)
{
    m_backend->currentState = PlayerState::Paused;
    m_player->windowActivated();
    EXPECT_TRUE(m_backend->log.isEmpty());
    m_backend->currentState = PlayerState::Stopped;
    m_backend->muted = true;
    m_player->windowActivated();
    EXPECT_EQ(m_backend->log, QStringList({QStringLiteral("mute 0"), QStringLiteral("play")}));
    EXPECT_TRUE(waitFor(QStringLiteral("pause")));
}

} // namespace
