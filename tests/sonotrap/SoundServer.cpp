#include "SoundServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

std::vector<std::string> currentEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& e : extra)
            replaced = replaced || e.substr(0, e.find('=')) == name;
        if (!replaced)
            result.push_back(text);
    }
    result.insert(result.end(), extra.begin(), extra.end());
    return result;
}

int spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra, int outputFd)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> env = currentEnvironment(extra);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

} // namespace

bool hasProgram(const std::string& name)
{
    return runProcess({"sh", "-c", "command -v " + name}, {}, 10).exitCode == 0;
}

ProcessResult
runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment, double timeoutSeconds)
{
    ProcessResult result;
    char path[] = "/tmp/sonotrap-test-output-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return result;
    unlink(path);
    const auto started = std::chrono::steady_clock::now();
    const int pid = spawn(argv, environment, fd);
    if (pid > 0) {
        int status = 0;
        for (;;) {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (done == pid)
                break;
            if (result.seconds > timeoutSeconds) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.exitCode = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 && result.output.size() < (1u << 20))
        result.output.append(buffer, static_cast<size_t>(got));
    close(fd);
    return result;
}

int startProcess(const std::vector<std::string>& argv)
{
    return spawn(argv, {}, -1);
}

int waitProcess(int pid)
{
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SoundServer::installed()
{
    return hasProgram("pulseaudio") && hasProgram("pactl");
}

bool SoundServer::requiredByCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci;
}

SoundServer::SoundServer(std::string folder)
    : m_folder(std::move(folder))
{}

SoundServer::~SoundServer()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool SoundServer::start()
{
    for (const char* sub : {"", "/run", "/state", "/config"})
        mkdir((m_folder + sub).c_str(), 0700);
    const std::string socket = m_folder + "/run/native";
    {
        std::ofstream client(m_folder + "/client.conf");
        client << "autospawn = no\n";
    }
    // Root may run the daemon only in user mode (--system refuses root clients); -n loads no
    // default script, so nothing but these modules runs and the null sink never suspends.
    const std::vector<std::string> daemon = {"pulseaudio",
                                             "--daemonize=no",
                                             "--exit-idle-time=-1",
                                             "--use-pid-file=no",
                                             "-n",
                                             "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                                             "--load=module-null-sink sink_name=ci_sink "
                                             "sink_properties=device.description=CISink",
                                             "--load=module-always-sink",
                                             "--log-target=file:" + m_folder + "/pulseaudio.log"};
    const std::vector<std::string> environment = {
        "HOME=" + m_folder, "XDG_RUNTIME_DIR=" + m_folder + "/run", "PULSE_RUNTIME_PATH=" + m_folder + "/run",
        "PULSE_STATE_PATH=" + m_folder + "/state", "XDG_CONFIG_HOME=" + m_folder + "/config"};
    m_pid = spawn(daemon, environment, -1);
    if (m_pid <= 0) {
        m_error = "pulseaudio could not be started";
        return false;
    }
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (m_folder + "/client.conf").c_str(), 1);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "pulseaudio ended at once; see " + m_folder + "/pulseaudio.log";
            return false;
        }
        if (access(socket.c_str(), F_OK) == 0 && pactl({"info"}))
            return setDefaultSink("ci_sink") || (m_error = "the null sink is missing", false);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_error = "pulseaudio did not answer within 5 s";
    return false;
}

bool SoundServer::pactl(const std::vector<std::string>& arguments, std::string* output) const
{
    std::vector<std::string> argv = {"pactl"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const ProcessResult result = runProcess(argv, {}, 20);
    if (output)
        *output = result.output;
    return result.exitCode == 0;
}

bool SoundServer::addSink(const std::string& name)
{
    return pactl(
        {"load-module", "module-null-sink", "sink_name=" + name, "sink_properties=device.description=" + name});
}

std::string SoundServer::alsaConfig(const std::string& pluginPath) const
{
    const std::string path = m_folder + "/alsa-sonotrap.conf";
    std::ofstream file(path);
    file << "pcm_type.sonotrap { lib \"" << pluginPath << "\" }\n"
         << "pcm.sonotrap {\n    type sonotrap\n    hint {\n        show on\n        description \"Sonotrap\"\n"
         << "        IOID \"Input\"\n    }\n}\n";
    return "/usr/share/alsa/alsa.conf:" + path;
}
