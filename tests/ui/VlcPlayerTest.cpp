#include "UserFolders.h"
#include "support/MediaFixture.h"
#include "support/ScopedSettingsStore.h"
#include "support/SkipUnlessCi.h"
#include "ui/player/Player.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// The real libvlc player with dummy outputs, on a file ffmpeg makes for the test.
class VlcPlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        m_player =
            std::make_unique<Player>(nullptr, QStringList{QStringLiteral("--vout=dummy"),
                                                          QStringLiteral("--aout=dummy"), QStringLiteral("--quiet")});
        if (!m_player->isReady())
            TRAWLIX_SKIP_UNLESS_CI("libvlc cannot start here (missing plugins?)");
        m_player->setUrlOpener([this](const QUrl& url) {
            m_opened << url.toLocalFile();
            return true;
        });
        m_file = QDir(m_store.dir()).filePath(QStringLiteral("1700000000.mp4"));
        ASSERT_TRUE(MediaFixture::makeClip(m_file, 2));
    }

    bool waitForState(PlayerState state)
    {
        return QTest::qWaitFor([&] { return m_player->state() == state; }, 15000);
    }

    ScopedSettingsStore m_store;
    std::unique_ptr<Player> m_player;
    QString m_file;
    QStringList m_opened;
};

TEST_F(VlcPlayerTest, PlaysThroughItsStatesAndTellsTheBar)
{
    QSignalSpy buttons(m_player.get(), &Player::buttonChanged);
    QSignalSpy ends(m_player.get(), &Player::endReached);
    QSignalSpy positions(m_player.get(), &Player::positionChanged);
    m_player->playWithSound(m_file);
    ASSERT_TRUE(waitForState(PlayerState::Playing));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_player->button() == PlayButton::Pause; }, 5000));

    m_player->pause();
    ASSERT_TRUE(waitForState(PlayerState::Paused));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_player->button() == PlayButton::Play; }, 5000));
    m_player->play();
    ASSERT_TRUE(waitForState(PlayerState::Playing));
    ASSERT_TRUE(waitForState(PlayerState::Ended));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_player->button() == PlayButton::Replay; }, 5000));
    EXPECT_GT(m_player->backend().length(), 1500);

    QList<PlayButton> shown;
    for (const QList<QVariant>& call : buttons)
        shown << call.at(0).value<PlayButton>();
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(shown.first(), PlayButton::Pause);
    EXPECT_TRUE(shown.contains(PlayButton::Play));
    EXPECT_EQ(shown.last(), PlayButton::Replay);
    EXPECT_EQ(ends.size(), 1);
    QStringList totals;
    for (const QList<QVariant>& call : positions)
        totals << call.at(1).toString();
    EXPECT_TRUE(totals.contains(QStringLiteral("0:00:02"))) << "the length as H:MM:SS";

    // Ended: a click in the player plays the selected file again.
    m_player->clickInPlayer(m_file);
    EXPECT_TRUE(waitForState(PlayerState::Playing));
    m_player->stop();
    EXPECT_TRUE(waitForState(PlayerState::Stopped));
}

TEST_F(VlcPlayerTest, PreviewStopsOnAnEarlyFrameThatSnapshotsTake)
{
    // (Mute itself is not observable here: the dummy audio output ignores it.)
    m_player->preview(m_file);
    ASSERT_TRUE(waitForState(PlayerState::Paused));
    EXPECT_LT(m_player->backend().time(), 2000);

    // An earlier picture stays; the paused frame goes to the next free name at the video's size.
    const UserFolders folders;
    ASSERT_TRUE(QDir().mkpath(folders.pictures()));
    QFile earlier(folders.pictures() + QStringLiteral("/Trawlix snapshot.png"));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("mine");
    earlier.close();
    const QString picture = m_player->makeScreenShot();
    EXPECT_EQ(picture, folders.pictures() + QStringLiteral("/Trawlix snapshot (2).png"));
    EXPECT_EQ(QImage(picture).size(), QSize(160, 120));
    EXPECT_EQ(earlier.size(), 4);
    EXPECT_TRUE(m_opened.isEmpty());

    m_player->play();
    ASSERT_TRUE(waitForState(PlayerState::Playing));
    EXPECT_EQ(m_player->makeScreenShot(), QString()) << "no snapshot while playing";
    EXPECT_EQ(QDir(folders.pictures()).entryList(QDir::Files).size(), 2);
}

TEST_F(VlcPlayerTest, VolumeReachesTheAmplifiedRange)
{
    m_store.settings().write(QStringLiteral("amplifier"), QStringLiteral("true"));
    m_player->playWithSound(m_file);
    ASSERT_TRUE(waitForState(PlayerState::Playing));
    m_player->setVolume(150);
    if (!QTest::qWaitFor([&] { return m_player->backend().volume() == 150; }, 1000))
        // Not a missing part: the dummy audio output of a machine without sound has no volume.
        GTEST_SKIP() << "the audio output here has no volume control (dummy output)";
    m_player->volumeUp();
    EXPECT_EQ(m_player->backend().volume(), 160);
}

TEST_F(VlcPlayerTest, UnplayableFileOffersThePlayButton)
{
    const QString broken = QDir(m_store.dir()).filePath(QStringLiteral("broken.mp4"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    m_player->playWithSound(broken);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const PlayerState state = m_player->state();
            return state == PlayerState::Error || state == PlayerState::Ended || state == PlayerState::Stopped;
        },
        15000));
}

} // namespace
