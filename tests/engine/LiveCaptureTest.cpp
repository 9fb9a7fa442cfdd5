#include "base/Settings.h"
#include "base/Texts.h"
#include "capture/CaptureHelper.h"
#include "engine/Engine.h"
#include "support/NginxServer.h"
#include "support/ProcessStatus.h"
#include "support/SkipUnlessCi.h"
#include "support/TestProcess.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// The capture helpers this process started and that are still running.
QList<qint64> runningHelpers()
{
    return ProcessStatus::children(getpid(), "trawlix-capture");
}

class LiveCaptureOnLo : public testing::Test
{
protected:
    void SetUp() override
    {
        CaptureHelper::setProgram(QStringLiteral(TRAWLIX_CAPTURE_HELPER));
        const QString why = PacketCapture::probeAdapter(QStringLiteral("lo"));
        if (!why.isEmpty())
            TRAWLIX_SKIP_UNLESS_CI("live capture on lo is not permitted here (needs root or the capability on "
                                   "the capture helper): "
                                   << why.toStdString());
        Texts::init(QStringLiteral("EN"));
        m_settings.seedDefaultsIfMissing();
        Settings::setInstance(&m_settings);
    }
    void TearDown() override
    {
        Settings::setInstance(nullptr);
        CaptureHelper::setProgram({});
    }

    QTemporaryDir m_settingsDir;
    Settings m_settings{m_settingsDir.filePath(QStringLiteral("Trawlix.conf"))};
};

// Every adapter is opened by a helper of its own; the first with traffic is kept and the
// others end. Stopping the capture ends the last one: no helper outlives its capture.
TEST_F(LiveCaptureOnLo, EveryAdapterKeepsOneHelperAndStoppingEndsIt)
{
    ASSERT_TRUE(runningHelpers().isEmpty());
    Engine engine;
    engine.startCapture({QString(), QString()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.capture()->openedAdapters() >= 1; }, 10000))
        << "capture outcome " << int(engine.capture()->outcome());
    QUdpSocket socket;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            socket.writeDatagram("wake", QHostAddress::LocalHost, 9);
            return !engine.capture()->chosenAdapter().isEmpty();
        },
        10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return runningHelpers().size() == 1; }, 5000))
        << runningHelpers().size() << " helpers for " << engine.capture()->openedAdapters() << " adapters";
    engine.stopCapture();
    EXPECT_TRUE(runningHelpers().isEmpty());
}

// Needs no permission: the helper refuses or fails before it opens anything.
TEST(LiveCapture, AnAdapterThatCannotBeOpenedEndsTheCaptureWithTheHelpersReason)
{
    CaptureHelper::setProgram(QStringLiteral(TRAWLIX_CAPTURE_HELPER));
    EXPECT_EQ(PacketCapture::probeAdapter(QStringLiteral("nosuchif0")),
              QStringLiteral("no such network interface: nosuchif0"));
    EXPECT_EQ(PacketCapture::probeAdapter(QStringLiteral("bad/name")),
              QStringLiteral("the interface name is not a network interface name"));
    const std::atomic<bool> monitoring{true};
    {
        PacketCapture capture({QString(), QStringLiteral("nosuchif0")}, {}, monitoring);
        capture.start();
        ASSERT_TRUE(capture.wait(15000));
        EXPECT_EQ(capture.outcome(), PacketCapture::Outcome::NoAdapterOpened);
    }
    EXPECT_TRUE(runningHelpers().isEmpty());

    CaptureHelper::setProgram(QStringLiteral("/nonexistent/trawlix-capture"));
    EXPECT_TRUE(PacketCapture::probeAdapter(QStringLiteral("lo")).startsWith(QStringLiteral("cannot start")));
    {
        PacketCapture capture({QString(), QStringLiteral("lo")}, {}, monitoring);
        capture.start();
        ASSERT_TRUE(capture.wait(15000));
        EXPECT_EQ(capture.outcome(), PacketCapture::Outcome::NoAdapterOpened);
    }
    CaptureHelper::setProgram({});
}

// A real browser-like client fetches a generated MP4 from nginx on 127.0.0.1:8080 while the
// capture thread watches "lo": exactly one candidate appears, with the client's headers.
TEST_F(LiveCaptureOnLo, FetchFromLocalServerGivesOneCandidateWithTheClientsHeaders)
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (curl.isEmpty() || ffmpeg.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("curl and ffmpeg are needed for this test");

    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QString log;
    ASSERT_TRUE(TestProcess::succeeds(
        ffmpeg,
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
         QStringLiteral("-i"), QStringLiteral("testsrc=duration=1:size=160x120:rate=10"), QStringLiteral("-pix_fmt"),
         QStringLiteral("yuv420p"), root.filePath(QStringLiteral("clip.mp4"))},
        &log))
        << log.toStdString();

    NginxServer server(root.path(), 8080);
    if (!server.start()) {
        // Another program may hold the port; the analyser only knows HTTP on 80 and 8080.
        TRAWLIX_SKIP_UNLESS_CI("nginx could not listen on 127.0.0.1:8080: " << server.error().toStdString());
    }

    m_settings.write(QStringLiteral("downloadhttp"), QStringLiteral("true"));

    Engine engine;
    engine.startCapture({QString(), QStringLiteral("lo")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.capture()->openedAdapters() == 1; }, 10000))
        << "capture outcome " << int(engine.capture()->outcome());

    const QString address = server.url(QStringLiteral("/clip.mp4"));
    ASSERT_TRUE(TestProcess::succeeds(curl,
                                      {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                       QStringLiteral("-A"), QStringLiteral("IntegrationBrowser/1.0"),
                                       QStringLiteral("-e"), QStringLiteral("http://127.0.0.1:8080/page.html"),
                                       QStringLiteral("-b"), QStringLiteral("session=abc123; theme=dark"), address},
                                      &log))
        << log.toStdString();

    // Other programs may use lo at the same time; only this server's records count.
    const auto ours = [&] {
        QList<VideoFile> result;
        for (const VideoFile& record : engine.videoFiles().snapshot()) {
            if (record.url.startsWith(QStringLiteral("http://127.0.0.1:8080/")))
                result << record;
        }
        return result;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ours().isEmpty(); }, 10000)) << "no candidate was detected";
    QThread::msleep(200); // a duplicate would arrive right behind
    QCoreApplication::processEvents();
    engine.stopCapture();

    const QList<VideoFile> records = ours();
    ASSERT_EQ(records.size(), 1);
    const VideoFile& record = records.first();
    EXPECT_EQ(record.url, address);
    EXPECT_EQ(record.state, VideoFile::State::New);
    EXPECT_EQ(record.extension, QStringLiteral(".mp4"));
    EXPECT_EQ(record.userAgent, QStringLiteral("IntegrationBrowser/1.0"));
    EXPECT_EQ(record.referer, QStringLiteral("http://127.0.0.1:8080/page.html"));
    EXPECT_EQ(record.pageAddress, record.referer);
    EXPECT_EQ(record.cookie, QStringLiteral("session=abc123; theme=dark"));
    EXPECT_EQ(record.accept, QStringLiteral("*/*"));
    EXPECT_EQ(record.title, QStringLiteral("Unnamed media file"));
    EXPECT_GE(engine.detectedMediaCount(), 1);
    EXPECT_EQ(engine.GetArr().size() >= 1, true);
}

} // namespace
