// The sound recorder window end to end: opened from the main window over a running engine, it
// records through the built Sonotrap plugin from a sound server the test starts, and the
// engine's recordings importer brings the file into the library.
#include "ui/tools/Page6.h"

#include "ShellFixture.h"
#include "SoundServer.h"
#include "WavFile.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(Page6Recording, RecordsTheToneThroughSonotrapIntoTheLibrary)
{
    if (!SoundServer::installed()) {
        if (SoundServer::requiredByCi())
            FAIL() << "pulseaudio is not installed, and CI needs this test";
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    QTemporaryDir dir;
    SoundServer server(dir.filePath(QStringLiteral("pulse")).toStdString());
    ASSERT_TRUE(server.start()) << server.error();
    qputenv("ALSA_CONFIG_PATH", QByteArray::fromStdString(server.alsaConfig(SONOTRAP_PLUGIN)));
    const std::string tone = dir.filePath(QStringLiteral("tone.wav")).toStdString();
    ASSERT_EQ(runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                          "sine=frequency=440:duration=2", "-ac", "2", "-y", tone})
                  .exitCode,
              0);

    ShellFixture shell;
    shell.engine().startLibraryWorkers();
    shell.page().openSoundRecorder();
    QPointer<Page6> recorder = shell.page().findChild<Page6*>();
    ASSERT_TRUE(recorder);
    EXPECT_TRUE(recorder->isVisible());
    QStringList messages; // a failure shows the reason in a message box
    recorder->message = [&](const QString& text) { messages << text; };
    QObject::connect(&recorder->job(), &RecordJob::finished, [&](const RecordJob::Result& result) {
        if (!result.error.isEmpty())
            messages << QStringLiteral("finished: ") + result.error;
    });

    // The user's choice: Sonotrap alone, which the window has checked already.
    QTreeWidget* devices = recorder->deviceList();
    int sonotrap = -1;
    for (int i = 0; i < devices->topLevelItemCount(); ++i) {
        if (devices->topLevelItem(i)->text(0).startsWith(QLatin1String("Sonotrap: ")))
            sonotrap = i;
        else
            devices->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    }
    ASSERT_EQ(sonotrap, 0) << "the discovery lists the plugin, first";
    EXPECT_FALSE(recorder->installHint()->isVisible());
    int loudest = Page6::FloorDb;
    QObject::connect(recorder->levelMeter(), &QProgressBar::valueChanged,
                     [&loudest](int value) { loudest = qMax(loudest, value); });
    EXPECT_EQ(devices->topLevelItem(sonotrap)->checkState(0), Qt::Checked);
    EXPECT_EQ(recorder->formatBox()->currentText(), QStringLiteral("MP3"));

    recorder->button()->click();
    ASSERT_EQ(recorder->job().state(), RecordJob::State::Recording) << messages.join(u' ').toStdString();
    EXPECT_EQ(recorder->button()->text(), QStringLiteral("Stop"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder->windowTitle().endsWith(QLatin1String("Recording...")); }));
    std::atomic<bool> played{false};
    std::thread player([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        runProcess({"paplay", "--latency-msec=30", tone}, {}, 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        played = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return played.load(); }, 20000));
    player.join();
    ASSERT_TRUE(recorder) << "the recording ended by itself: " << messages.join(u' ').toStdString();
    EXPECT_TRUE(recorder->windowTitle().startsWith(QLatin1String("00:0"))) << recorder->windowTitle().toStdString();
    EXPECT_NE(recorder->elapsedLabel()->text(), QStringLiteral("00:00")) << "the window shows the time recorded";
    // The tone is at -18 dBFS; silence stays at the meter's floor.
    EXPECT_GT(loudest, -30) << "the level meter moved with the tone";
    recorder->button()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.isNull(); }, 10000)) << "the window closes once ffmpeg ended";
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u' ').toStdString();

    int row = -1;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (int i = 0; i < shell.model().rowCount(); ++i) {
                if (shell.model().rowAt(i).title.startsWith(QLatin1String("Audio Record ")))
                    row = i;
            }
            return row >= 0;
        },
        15000))
        << "the recording reaches the library";
    shell.engine().stopLibraryWorkers();
    const QString imported = shell.model().rowAt(row).path;
    EXPECT_TRUE(imported.endsWith(QLatin1String(".mp3"))) << imported.toStdString();

    const std::string measured = dir.filePath(QStringLiteral("measured.wav")).toStdString();
    ASSERT_EQ(
        runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", imported.toStdString(), "-y", measured}).exitCode,
        0);
    const WavFile wav = WavFile::read(measured);
    ASSERT_TRUE(wav.valid);
    const std::vector<Span> loud = loudSpans(wav);
    ASSERT_FALSE(loud.empty()) << "the tone is missing";
    const Span span{loud.front().start + 0.05, loud.front().end - 0.05};
    EXPECT_GT(span.length(), 1.5);
    EXPECT_NEAR(frequencyIn(wav, span), 440.0, 2.0);
    qunsetenv("ALSA_CONFIG_PATH");
}

} // namespace
