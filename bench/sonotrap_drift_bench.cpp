// Records the monitor of a private PulseAudio null sink for a while through Sonotrap (arecord
// on the built plugin) and with parec on the same monitor at the same time, while a 440 Hz tone
// plays to the sink. Prints for each: the samples delivered against the wall time (the drift in
// ppm is the least-squares slope of samples over time after a warm-up of up to 10 s; the offset
// is what the first read held) and the CPU share of the recording process (the recorder program with
// its sound client); then the ratios against parec.
//
// Usage: sonotrap_drift_bench [SECONDS]   (default 600; try 20 for a quick look)

#include "SoundServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kFrameBytes = 4; // S16_LE, two channels

using Clock = std::chrono::steady_clock;

// One recorder whose raw samples arrive on a pipe.
struct Recorder
{
    std::string name;
    std::vector<std::string> argv;
    pid_t pid = -1;
    int fd = -1;
    unsigned long long bytes = 0;
    double firstByte = -1; // seconds after the start
    double lastByte = 0;
    // Least squares of frames over time, after the warm-up.
    double n = 0, st = 0, sf = 0, stt = 0, stf = 0;
    double cpuSeconds = 0;
    double warmUp = 1; // seconds after the first byte that the slope leaves out
    bool ok = false;

    bool start()
    {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        fd = pipeFds[0];
        return error == 0;
    }

    // Reads what is there; false once the pipe ended.
    bool read(double now)
    {
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return got < 0 && errno == EINTR;
        if (firstByte < 0)
            firstByte = now;
        lastByte = now;
        bytes += static_cast<unsigned long long>(got);
        const double frames = static_cast<double>(bytes / kFrameBytes);
        if (now - firstByte >= warmUp) {
            n += 1;
            st += now;
            sf += frames;
            stt += now * now;
            stf += now * frames;
        }
        return true;
    }

    void stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGINT);
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            ok = true;
        }
        pid = -1;
    }

    double slopeFramesPerSecond() const
    {
        const double d = n * stt - st * st;
        return d > 0 ? (n * stf - st * sf) / d : 0;
    }
    double deliveredSeconds() const { return static_cast<double>(bytes / kFrameBytes) / kRate; }
    double wallSeconds() const { return lastByte - firstByte; }
    // Delivered minus wall time from the first byte: what the first read held (the recorder's
    // start-up buffering), constant over a run; a drift shows in the slope instead.
    double offsetMs() const { return (deliveredSeconds() - wallSeconds()) * 1e3; }
    double slopePpm() const { return (slopeFramesPerSecond() / kRate - 1) * 1e6; }
};

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    const double duration = argc > 1 ? std::atof(argv[1]) : 600.0;
    if (!(duration >= 5 && duration <= 24 * 3600)) {
        std::fprintf(stderr, "usage: %s [SECONDS]   (5 to 86400; default 600)\n", argv[0]);
        return 2;
    }
    for (const char* program : {"pulseaudio", "pactl", "pacat", "parec", "arecord", "ffmpeg"}) {
        if (!hasProgram(program)) {
            std::fprintf(stderr, "%s is not installed\n", program);
            return 1;
        }
    }
    char folder[] = "/tmp/sonotrap-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    int result = 1;
    {
        SoundServer server(std::string(folder) + "/pulse");
        if (!server.start()) {
            std::fprintf(stderr, "%s\n", server.error().c_str());
            runProcess({"rm", "-rf", folder});
            return 1;
        }
        setenv("ALSA_CONFIG_PATH", server.alsaConfig(SONOTRAP_PLUGIN).c_str(), 1);

        // The tone runs longer than the recording; pacat plays it at the sink's own pace.
        const std::string tone = "ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:duration=" +
                                 std::to_string(static_cast<long>(duration) + 30) +
                                 " -ac 2 -ar 48000 -f s16le - | pacat --raw --format=s16le --rate=48000 --channels=2";
        const int player = startProcess({"sh", "-c", "exec " + tone});
        if (player <= 0) {
            std::fprintf(stderr, "the tone could not be played\n");
            runProcess({"rm", "-rf", folder});
            return 1;
        }

        // The sound server may take a few seconds to start delivering on a loaded machine, and
        // the recorder fills that time with silence at its own pace: the slope starts later.
        const double warmUp = std::min(10.0, duration / 6);
        std::vector<Recorder> recorders(2);
        for (Recorder& r : recorders)
            r.warmUp = warmUp;
        recorders[0].name = "sonotrap (arecord)";
        recorders[0].argv = {"arecord", "-q", "-D", "sonotrap", "-f", "S16_LE", "-c", "2", "-r", "48000", "-t", "raw"};
        recorders[1].name = "parec";
        recorders[1].argv = {"parec", "--device=ci_sink.monitor", "--format=s16le", "--rate=48000", "--channels=2",
                             "--raw"};
        const Clock::time_point started = Clock::now();
        bool allStarted = true;
        for (Recorder& r : recorders)
            allStarted = r.start() && allStarted;

        std::printf("recording %.0f s of the null sink's monitor, both at once...\n", duration);
        std::fflush(stdout);
        double nextReport = 60;
        while (allStarted && seconds(started) < duration) {
            pollfd fds[2] = {{recorders[0].fd, POLLIN, 0}, {recorders[1].fd, POLLIN, 0}};
            if (poll(fds, 2, 200) < 0 && errno != EINTR)
                break;
            const double now = seconds(started);
            bool ended = false;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].revents & (POLLIN | POLLHUP))
                    ended = !recorders[static_cast<size_t>(i)].read(now) || ended;
            }
            if (ended) {
                std::fprintf(stderr, "a recorder ended early\n");
                break;
            }
            if (now >= nextReport) {
                std::printf("  %.0f s\n", now);
                std::fflush(stdout);
                nextReport += 60;
            }
        }
        for (Recorder& r : recorders) {
            r.stop();
            close(r.fd);
        }
        kill(player, SIGTERM);
        waitProcess(player);

        const Recorder& sonotrap = recorders[0];
        const Recorder& parec = recorders[1];
        std::printf("\n%-20s %12s %12s %12s %12s %10s\n", "recorder", "delivered s", "wall s", "offset ms", "drift ppm",
                    "CPU %");
        for (const Recorder& r : recorders) {
            std::printf("%-20s %12.3f %12.3f %12.1f %12.1f %10.3f\n", r.name.c_str(), r.deliveredSeconds(),
                        r.wallSeconds(), r.offsetMs(), r.slopePpm(),
                        r.wallSeconds() > 0 ? 100.0 * r.cpuSeconds / seconds(started) : 0);
        }
        if (sonotrap.ok && parec.ok && parec.cpuSeconds > 0 && sonotrap.wallSeconds() > 0) {
            std::printf("\nagainst parec: CPU %.2fx; |drift| %.1f ppm against %.1f ppm (difference %.1f ppm)\n",
                        sonotrap.cpuSeconds / parec.cpuSeconds, std::fabs(sonotrap.slopePpm()),
                        std::fabs(parec.slopePpm()), sonotrap.slopePpm() - parec.slopePpm());
            const double difference = sonotrap.slopePpm() - parec.slopePpm();
            std::printf("\nmeasure | peer | sonotrap | difference | goal\n");
            std::printf("drift over %.0f s | parec %.1f ppm | %.1f ppm | %+.1f ppm | within 10 ppm of parec: %s\n",
                        duration, parec.slopePpm(), sonotrap.slopePpm(), difference,
                        std::fabs(difference) <= 10 ? "met" : "not met");
            result = 0;
        }
        unsetenv("ALSA_CONFIG_PATH");
    }
    runProcess({"rm", "-rf", folder});
    return result;
}
