// A child process for the runner's tests. TRAWLIX_CHILD_MODE selects what it does:
//   print:N    print N numbered lines to stdout and stderr alternately, then exit 0
//   stall      print one line, then sleep until killed
//   exit:N     exit with code N at once
//   crash      abort()
//   stamps     print ffmpeg-like "time=" stamps, one every 50 ms, then exit
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main()
{
    const char* modeEnv = std::getenv("TRAWLIX_CHILD_MODE");
    const std::string mode = modeEnv ? modeEnv : "print:3";
    if (mode.rfind("print:", 0) == 0) {
        const int lines = std::atoi(mode.c_str() + 6);
        for (int i = 0; i < lines; ++i) {
            std::fprintf(i % 2 ? stderr : stdout, "line %d\n", i);
            std::fflush(nullptr);
        }
        return 0;
    }
    if (mode == "stall") {
        std::printf("stalling\n");
        std::fflush(stdout);
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (mode.rfind("exit:", 0) == 0)
        return std::atoi(mode.c_str() + 5);
    if (mode == "crash")
        std::abort();
    if (mode == "stamps") {
        for (int second = 0; second <= 10; ++second) {
            std::fprintf(stderr, "frame=%d fps=25 size=1kB time=00:00:%02d.00 bitrate=1kbits/s\r", second * 25, second);
            std::fflush(stderr);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 3;
}
