// Recordings through the built plugin from a private PulseAudio daemon, with the ALSA
// programs users run: arecord and ffmpeg.
#include "SoundServer.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

std::unique_ptr<SoundServer> gServer;
std::string gFolder;
std::string gTone; // 2 s of 440 Hz

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Plays the tone to the default output with a short server latency; returns when it ended.
void playTone()
{
    const ProcessResult played = runProcess({"paplay", "--latency-msec=30", gTone}, {}, 30);
    EXPECT_EQ(played.exitCode, 0) << played.output;
}

class SonotrapRecording : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!SoundServer::installed())
            return;
        char folder[] = "/tmp/sonotrap-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        gFolder = folder;
        gServer = std::make_unique<SoundServer>(gFolder + "/pulse");
        if (!gServer->start())
            return;
        setenv("ALSA_CONFIG_PATH", gServer->alsaConfig(SONOTRAP_PLUGIN).c_str(), 1);
        gTone = gFolder + "/tone.wav";
        const ProcessResult made =
            runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=2", "-ac", "2", "-y", gTone});
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }

    static void TearDownTestSuite()
    {
        gServer.reset();
        if (!gFolder.empty())
            runProcess({"rm", "-rf", gFolder});
    }

    void SetUp() override
    {
        if (!SoundServer::installed()) {
            if (SoundServer::requiredByCi())
                FAIL() << "pulseaudio is not installed, and CI needs these tests";
            GTEST_SKIP() << "pulseaudio is not installed";
        }
        ASSERT_TRUE(gServer && gServer->error().empty()) << (gServer ? gServer->error() : "no server");
        ASSERT_TRUE(gServer->setDefaultSink("ci_sink"));
    }

    static std::string file(const std::string& name) { return gFolder + "/" + name; }
};

struct ToneCase
{
    const char* name;
    std::vector<std::string> command; // the recording; "OUT" is replaced by the file
    double seconds;                   // the duration it asks for
    unsigned rate;                    // the rate it asks for (the server resamples when needed)
    double startupSlack;              // seconds the program itself needs to start and end
};

class ToneRecording : public SonotrapRecording, public ::testing::WithParamInterface<ToneCase>
{
};

TEST_P(ToneRecording, MeasuresFourHundredFortyHertzForTheWallTime)
{
    const ToneCase& c = GetParam();
    std::vector<std::string> command = c.command;
    const std::string out = file(std::string(c.name) + ".wav");
    for (std::string& argument : command)
        argument = argument == "OUT" ? out : argument;
    std::thread player([] {
        sleepSeconds(0.3);
        playTone();
    });
    const ProcessResult recorded = runProcess(command, {}, 30);
    player.join();
    ASSERT_EQ(recorded.exitCode, 0) << recorded.output;

    const WavFile wav = WavFile::read(out);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.rate, c.rate);
    EXPECT_NEAR(wav.seconds, c.seconds, 0.05);
    EXPECT_NEAR(recorded.seconds, wav.seconds, wav.seconds * 0.05 + c.startupSlack) << "wall time against duration";
    const std::vector<Span> loud = loudSpans(wav);
    ASSERT_FALSE(loud.empty()) << "the tone is missing";
    const Span tone{loud.front().start + 0.05, loud.front().end - 0.05};
    ASSERT_GT(tone.length(), 1.0);
    EXPECT_NEAR(frequencyIn(wav, tone), 440.0, 2.0);
}

INSTANTIATE_TEST_SUITE_P(
    Programs,
    ToneRecording,
    ::testing::Values(
        ToneCase{"arecord_native",
                 {"arecord", "-q", "-D", "sonotrap", "-f", "S16_LE", "-c", "2", "-r", "44100", "-d", "4", "OUT"},
                 4,
                 44100,
                 0.2},
        ToneCase{"arecord_resampled_mono",
                 {"arecord", "-q", "-D", "sonotrap", "-f", "S16_LE", "-c", "1", "-r", "48000", "-d", "4", "OUT"},
                 4,
                 48000,
                 0.2},
        ToneCase{"arecord_u8_22050",
                 {"arecord", "-q", "-D", "sonotrap", "-f", "U8", "-c", "1", "-r", "22050", "-d", "4", "OUT"},
                 4,
                 22050,
                 0.2},
        ToneCase{"ffmpeg_default",
                 {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "alsa", "-i", "sonotrap", "-t", "4",
                  "-y", "OUT"},
                 4,
                 48000,
                 1.0}),
    [](const ::testing::TestParamInfo<ToneCase>& row) { return std::string(row.param.name); });

struct SilenceCase
{
    const char* name;
    bool suspendOutput; // the server then sends nothing at all during the silence
};

class SilenceInTheMiddle : public SonotrapRecording, public ::testing::WithParamInterface<SilenceCase>
{
};

TEST_P(SilenceInTheMiddle, KeepsTheRecordingRunningAndItsDurationRight)
{
    const std::string out = file(std::string(GetParam().name) + ".wav");
    const bool suspend = GetParam().suspendOutput;
    std::thread player([suspend] {
        sleepSeconds(0.3);
        playTone();
        if (suspend) {
            EXPECT_TRUE(gServer->suspendSink("ci_sink", true));
        }
        sleepSeconds(3.0);
        if (suspend) {
            EXPECT_TRUE(gServer->suspendSink("ci_sink", false));
        }
        playTone();
    });
    const ProcessResult recorded = runProcess(
        {"arecord", "-q", "-D", "sonotrap", "-f", "S16_LE", "-c", "2", "-r", "44100", "-d", "9", out}, {}, 40);
    player.join();
    gServer->suspendSink("ci_sink", false);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.output;

    const WavFile wav = WavFile::read(out);
    ASSERT_TRUE(wav.valid);
    EXPECT_NEAR(wav.seconds, 9.0, 0.05);
    EXPECT_NEAR(recorded.seconds, wav.seconds, wav.seconds * 0.05) << "the recording stalled or ran fast";
    const std::vector<Span> loud = loudSpans(wav);
    ASSERT_EQ(loud.size(), 2u) << "two tones with silence between them";
    const Span silence{loud[0].end, loud[1].start};
    EXPECT_NEAR(silence.length(), 3.0, 0.4);
    EXPECT_LT(loudestIn(wav, {silence.start + 0.05, silence.end - 0.05}), 0.001);
    for (const Span& tone : loud) {
        EXPECT_NEAR(tone.length(), 2.0, 0.15);
        EXPECT_NEAR(frequencyIn(wav, {tone.start + 0.05, tone.end - 0.05}), 440.0, 2.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers,
                         SilenceInTheMiddle,
                         ::testing::Values(SilenceCase{"output_running", false}, SilenceCase{"output_suspended", true}),
                         [](const ::testing::TestParamInfo<SilenceCase>& row) { return std::string(row.param.name); });

// A server that stalls (here: stopped for a second) sends the audio of the whole stall at once
// when it goes on. The recording filled that second with silence meanwhile, so the late audio
// must not be added on top: the file would hold more time than passed, and run ahead of the
// wall clock by the stall.
TEST_F(SonotrapRecording, AStalledServerAddsNoTimeThatDidNotPass)
{
    const std::string out = file("stalled.wav");
    std::thread stall([] {
        sleepSeconds(2.0);
        kill(gServer->pid(), SIGSTOP);
        sleepSeconds(1.0);
        kill(gServer->pid(), SIGCONT);
    });
    const ProcessResult recorded = runProcess(
        {"arecord", "-q", "-D", "sonotrap", "-f", "S16_LE", "-c", "2", "-r", "44100", "-d", "6", out}, {}, 40);
    stall.join();
    ASSERT_EQ(recorded.exitCode, 0) << recorded.output;
    const WavFile wav = WavFile::read(out);
    ASSERT_TRUE(wav.valid);
    ASSERT_NEAR(wav.seconds, 6.0, 0.05);
    // The program needs a moment to start and end, so the wall time is the longer one; audio
    // repeated after the stall would make it shorter by most of the stall.
    EXPECT_GT(recorded.seconds, wav.seconds - 0.1) << "the recording ran ahead of the wall clock\n" << recorded.output;
    EXPECT_LT(recorded.seconds, wav.seconds + 0.5) << "the recording fell behind the wall clock";
}

TEST_F(SonotrapRecording, ArecordWithItsDefaultsRecordsTwoSeconds)
{
    const std::string out = file("defaults.wav");
    const ProcessResult recorded = runProcess({"arecord", "-D", "sonotrap", "-d", "2", out}, {}, 20);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.output;
    EXPECT_EQ(recorded.output.find("rate is not accurate"), std::string::npos) << recorded.output;
    const WavFile wav = WavFile::read(out);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.rate, 8000u);
    EXPECT_NEAR(wav.seconds, 2.0, 0.01);
    EXPECT_NEAR(recorded.seconds, 2.0, 0.1 + 0.2);
}

TEST_F(SonotrapRecording, FollowsTheDefaultOutputWhenTheUserSwitchesIt)
{
    ASSERT_TRUE(gServer->addSink("other_sink") || gServer->pactl({"list", "short", "sinks"}));
    const std::string out = file("switched.wav");
    std::thread player([] {
        sleepSeconds(1.0);
        EXPECT_TRUE(gServer->setDefaultSink("other_sink"));
        sleepSeconds(0.3);
        playTone(); // reaches only the new default output
    });
    const ProcessResult recorded = runProcess(
        {"arecord", "-q", "-D", "sonotrap", "-f", "S16_LE", "-c", "2", "-r", "44100", "-d", "5", out}, {}, 30);
    player.join();
    ASSERT_EQ(recorded.exitCode, 0) << recorded.output;
    const WavFile wav = WavFile::read(out);
    const std::vector<Span> loud = loudSpans(wav);
    ASSERT_FALSE(loud.empty()) << "the tone on the new default output was not recorded";
    EXPECT_GT(loud.front().start, 1.0);
    EXPECT_NEAR(frequencyIn(wav, {loud.front().start + 0.05, loud.front().end - 0.05}), 440.0, 2.0);
}

TEST_F(SonotrapRecording, FfmpegListsTheDeviceAmongItsAlsaSources)
{
    const ProcessResult listed = runProcess({"ffmpeg", "-hide_banner", "-sources", "alsa"}, {}, 30);
    EXPECT_NE(listed.output.find("  sonotrap [Sonotrap]"), std::string::npos) << listed.output;
}

TEST_F(SonotrapRecording, WithoutASoundServerOpeningFailsAtOnceWithAReason)
{
    const ProcessResult recorded = runProcess({"arecord", "-D", "sonotrap", "-d", "1", file("none.wav")},
                                              {"PULSE_SERVER=unix:" + gFolder + "/no-such-socket"}, 20);
    EXPECT_NE(recorded.exitCode, 0);
    EXPECT_LT(recorded.seconds, 4.0);
    EXPECT_NE(recorded.output.find("sonotrap: no sound server"), std::string::npos) << recorded.output;
}

TEST_F(SonotrapRecording, PlaybackIsRefused)
{
    const ProcessResult played = runProcess({"aplay", "-D", "sonotrap", gTone}, {}, 20);
    EXPECT_NE(played.exitCode, 0);
    EXPECT_NE(played.output.find("records only"), std::string::npos) << played.output;
}

} // namespace
