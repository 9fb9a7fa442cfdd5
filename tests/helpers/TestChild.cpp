// A child process for the runner's tests. The mode is the first argument or, without one,
// TRAWLIX_CHILD_MODE:
//   print:N      print N numbered lines to stdout and stderr alternately, then exit 0
//   stall        print one line, then sleep until killed
//   quiet        print nothing, sleep until killed
//   exit:N       exit with code N at once
//   crash        abort()
//   stamps       print ffmpeg-like "time=" stamps, one every 50 ms, then exit
//   burst        print several stamps in one write, the last one cut in half, then the rest
//   link         print link-tool progress chunks ("[download]  45.3% ..."), then exit
//   bytes        print the bytes 0x41 0xE9 0xFF 0x0A and exit
//   ignoreterm   ignore SIGTERM, print one stamp, sleep until killed
//   graceful     print one stamp; on SIGTERM print "finishing" and exit 0 (as ffmpeg ends its file)
//   family       start a grandchild that also sleeps, print one line, sleep until killed
//   hold:PATH    open PATH, print "holding", sleep until killed
//   fds          print the numbers of its open descriptors ("0 1 2\n"), then exit 0
//   flood        print numbered lines as fast as it can until killed
//   floodterm    the same, ignoring SIGTERM
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

[[noreturn]] void sleepForever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

void say(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

extern "C" void onTerm(int)
{
    const char text[] = "finishing\n";
    (void)!::write(STDOUT_FILENO, text, sizeof text - 1);
    ::_exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const char* modeEnv = std::getenv("TRAWLIX_CHILD_MODE");
    const std::string mode = argc > 1 ? argv[1] : (modeEnv ? modeEnv : "print:3");
    if (mode.rfind("print:", 0) == 0) {
        const int lines = std::atoi(mode.c_str() + 6);
        for (int i = 0; i < lines; ++i) {
            std::fprintf(i % 2 ? stderr : stdout, "line %d\n", i);
            std::fflush(nullptr);
        }
        return 0;
    }
    if (mode == "stall") {
        say("stalling\n");
        sleepForever();
    }
    if (mode == "quiet")
        sleepForever();
    if (mode.rfind("exit:", 0) == 0)
        return std::atoi(mode.c_str() + 5);
    if (mode == "crash") {
        std::signal(SIGABRT, SIG_DFL);
        std::abort();
    }
    if (mode == "stamps") {
        for (int second = 0; second <= 10; ++second) {
            std::fprintf(stderr, "frame=%d fps=25 size=1kB time=00:00:%02d.00 bitrate=1kbits/s\r", second * 25, second);
            std::fflush(stderr);
            pause(50);
        }
        return 0;
    }
    if (mode == "burst") {
        say("size=1kB time=00:00:10.00 bitrate=1\rsize=2kB time=00:00:20.00 bitrate=1\rsize=3kB time=00:00:3");
        pause(300);
        say("0.00 bitrate=1\rtail\n");
        return 0;
    }
    if (mode == "link") {
        say("[youtube] abc: Downloading webpage\n");
        pause(150);
        say("[download]  45.3% of 1.00MiB at 1.00MiB/s ETA 00:01\r");
        pause(150);
        say("[download] 100% of 1.00MiB in 00:01\n");
        return 0;
    }
    if (mode == "bytes") {
        say("A\xE9\xFF\n");
        return 0;
    }
    if (mode == "ignoreterm") {
        std::signal(SIGTERM, SIG_IGN);
        say("size=1kB time=00:00:01.00 ignoring\n");
        sleepForever();
    }
    if (mode == "graceful") {
        std::signal(SIGTERM, onTerm);
        say("size=1kB time=00:00:01.00 recording\n");
        sleepForever();
    }
    if (mode == "family") {
        if (::fork() == 0)
            sleepForever();
        say("family\n");
        sleepForever();
    }
    if (mode.rfind("hold:", 0) == 0) {
        const int fd = ::open(mode.c_str() + 5, O_RDONLY);
        if (fd < 0)
            return 4;
        say("holding\n");
        sleepForever();
    }
    if (mode == "fds") {
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir)
            return 5;
        std::string numbers;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(dir))
                continue;
            numbers += (numbers.empty() ? "" : " ") + std::string(entry->d_name);
        }
        ::closedir(dir);
        say((numbers + "\n").c_str());
        return 0;
    }
    if (mode == "flood" || mode == "floodterm") {
        if (mode == "floodterm")
            std::signal(SIGTERM, SIG_IGN);
        for (unsigned long line = 0;; ++line) {
            if (std::printf("flood %lu\n", line) < 0)
                return 6;
        }
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 3;
}
