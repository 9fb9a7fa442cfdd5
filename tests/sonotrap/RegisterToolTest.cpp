// sonotrap-register against a temporary HOME: the user's other entries stay byte for byte.
#include "SoundServer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class RegisterTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/sonotrap-register-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_home = folder;
    }
    void TearDown() override { runProcess({"rm", "-rf", m_home}); }

    ProcessResult run(const std::string& action) const
    {
        return runProcess({SONOTRAP_REGISTER, action}, {"HOME=" + m_home}, 20);
    }
    std::string rc() const { return m_home + "/.asoundrc"; }

    std::string m_home;
};

struct RegisterCase
{
    const char* name;
    bool exists;
    const char* original;
};

class RegisterRoundTrip : public RegisterTool, public ::testing::WithParamInterface<RegisterCase>
{
};

TEST_P(RegisterRoundTrip, InstallTwiceIsOnceAndUninstallRestoresEveryByte)
{
    const RegisterCase& c = GetParam();
    if (c.exists)
        writeAll(rc(), c.original);
    ASSERT_EQ(run("--install").exitCode, 0);
    const std::string once = readAll(rc());
    EXPECT_EQ(once.compare(0, std::string(c.original).size(), c.original), 0);
    EXPECT_NE(once.find("pcm.sonotrap {"), std::string::npos);
    const ProcessResult again = run("--install");
    ASSERT_EQ(again.exitCode, 0);
    EXPECT_NE(again.output.find("already installed"), std::string::npos);
    EXPECT_EQ(readAll(rc()), once);
    ASSERT_EQ(run("--uninstall").exitCode, 0);
    // A file that held nothing but the block goes, as ALSA reads no file and an empty one alike.
    EXPECT_EQ(access(rc().c_str(), F_OK) == 0, c.exists && *c.original != 0);
    if (c.exists && *c.original) {
        EXPECT_EQ(readAll(rc()), c.original);
    }
    ASSERT_EQ(run("--uninstall").exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Homes,
    RegisterRoundTrip,
    ::testing::Values(
        RegisterCase{"no_file", false, ""},
        RegisterCase{"empty_file", true, ""},
        RegisterCase{"other_entries", true,
                     "pcm.!default {\n    type plug\n    slave.pcm \"hw:0\"\n}\nctl.!default { type hw card 0 }\n"},
        RegisterCase{"no_line_end", true, "defaults.pcm.card 1"}),
    [](const ::testing::TestParamInfo<RegisterCase>& row) { return std::string(row.param.name); });

TEST_F(RegisterTool, KeepsALinkedConfigurationALinkAndItsMode)
{
    const std::string target = m_home + "/dotfiles-asoundrc";
    writeAll(target, "pcm.a { type null }\n");
    chmod(target.c_str(), 0600);
    ASSERT_EQ(symlink(target.c_str(), rc().c_str()), 0);
    ASSERT_EQ(run("--install").exitCode, 0);
    struct stat info;
    ASSERT_EQ(lstat(rc().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(readAll(target).find("pcm.sonotrap {"), std::string::npos);
}

TEST_F(RegisterTool, RefusesAFileWhoseBlockLostItsEndMarker)
{
    const std::string damaged = "# >>> sonotrap-register: pcm.sonotrap >>>\npcm.sonotrap { type sonotrap }\n";
    writeAll(rc(), damaged);
    EXPECT_NE(run("--install").exitCode, 0);
    EXPECT_NE(run("--uninstall").exitCode, 0);
    EXPECT_EQ(readAll(rc()), damaged);
}

TEST_F(RegisterTool, TheInstalledEntryIsListedByAlsaAsSonotrap)
{
    ASSERT_EQ(run("--install").exitCode, 0);
    // Only the plugin's location comes from the test; the entry itself is the installed one.
    const std::string types = m_home + "/types.conf";
    writeAll(types, std::string("pcm_type.sonotrap { lib \"") + SONOTRAP_PLUGIN + "\" }\n");
    const ProcessResult listed =
        runProcess({"arecord", "-L"}, {"HOME=" + m_home, "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" + types}, 20);
    EXPECT_NE(listed.output.find("sonotrap\n    Sonotrap"), std::string::npos) << listed.output;
}

TEST_F(RegisterTool, ThePluginExportsOnlyAlsasEntry)
{
    const ProcessResult symbols = runProcess({"nm", "-D", "--defined-only", SONOTRAP_PLUGIN}, {}, 20);
    ASSERT_EQ(symbols.exitCode, 0) << symbols.output;
    std::istringstream lines(symbols.output);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);)
        names.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(names, (std::vector<std::string>{"__snd_pcm_sonotrap_open_dlsym_pcm_001", "_snd_pcm_sonotrap_open"}));
}

} // namespace
