#pragma once

#include <string>
#include <vector>

// A private PulseAudio daemon for one test run: its own runtime folder and socket, a null
// sink "ci_sink" as the default output, no modules beyond the ones named (so nothing suspends
// unless a test asks for it). Clients of the test process reach it through PULSE_SERVER; the
// daemon is ended by its pid, never by name. Plain C++: the plugin's test links no Qt.
class SoundServer final
{
public:
    // True when a pulseaudio binary is installed.
    static bool installed();
    // True when the test run is CI, where a missing daemon is a failure, not a skip.
    static bool requiredByCi();

    explicit SoundServer(std::string folder);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Starts the daemon and points this process's clients at it; false with error() on failure.
    bool start();
    const std::string& error() const { return m_error; }
    const std::string& folder() const { return m_folder; }
    // The daemon's process, for tests that stop it for a while (SIGSTOP, SIGCONT).
    int pid() const { return m_pid; }

    // Runs pactl against this daemon; true when it exits 0.
    bool pactl(const std::vector<std::string>& arguments, std::string* output = nullptr) const;
    // Adds another null sink.
    bool addSink(const std::string& name);
    bool setDefaultSink(const std::string& name) { return pactl({"set-default-sink", name}); }
    bool suspendSink(const std::string& name, bool suspend)
    {
        return pactl({"suspend-sink", name, suspend ? "1" : "0"});
    }

    // Writes an ALSA configuration that loads the plugin at pluginPath as `type sonotrap` and
    // defines pcm.sonotrap, and returns the ALSA_CONFIG_PATH value that adds it.
    std::string alsaConfig(const std::string& pluginPath) const;

private:
    std::string m_folder;
    std::string m_error;
    int m_pid = -1;
};

// A child process run to its end, for the tests of the plugin.
struct ProcessResult
{
    int exitCode = -1;  // -1 when it did not start or was killed
    std::string output; // standard output and error together
    double seconds = 0; // wall time
};

// Runs argv with extra environment entries ("NAME=value"); kills it after timeoutSeconds.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {},
                         double timeoutSeconds = 60);

// Starts argv in the background with its output discarded; returns its pid (or -1).
int startProcess(const std::vector<std::string>& argv);
// Waits for a background process; returns its exit code (-1 for a signal).
int waitProcess(int pid);

bool hasProgram(const std::string& name);
