// Installing and removing the pcm.sonotrap block leaves every other byte of the file alone.
extern "C" {
#include "AsoundrcBlock.h"
}

#include <gtest/gtest.h>

#include <string>

namespace {

std::string install(const std::string& text)
{
    sonotrap_text result{nullptr, 0};
    EXPECT_EQ(sonotrap_asoundrc_install(text.data(), text.size(), &result), SONOTRAP_ASOUNDRC_OK);
    std::string out(result.data ? result.data : "", result.length);
    free(result.data);
    return out;
}

std::string uninstall(const std::string& text, bool* found = nullptr)
{
    sonotrap_text result{nullptr, 0};
    int was = 0;
    EXPECT_EQ(sonotrap_asoundrc_uninstall(text.data(), text.size(), &result, &was), SONOTRAP_ASOUNDRC_OK);
    if (found)
        *found = was != 0;
    std::string out(result.data ? result.data : "", result.length);
    free(result.data);
    return out;
}

const char* const kUserFiles[] = {
    "",
    "\n",
    "pcm.!default { type hw card 0 }\n",
    "pcm.!default { type hw card 0 }", // no line end at the end
    "# only a comment\r\n\r\n",
    "pcm.a { type null }\n\n\n# trailing blank lines and a comment\n",
    "pcm.sonotrap_old { type null }\n# >>> sonotrap-register: pcm.sonotrap >>> (not a marker: text follows)\n",
};

class AsoundrcRoundTrip : public ::testing::TestWithParam<const char*>
{
};

TEST_P(AsoundrcRoundTrip, InstallKeepsTheFileUninstallRestoresItAndTwiceIsOnce)
{
    const std::string original = GetParam();
    const std::string installed = install(original);
    ASSERT_EQ(installed.compare(0, original.size(), original), 0) << "the user's text must stay first and intact";
    EXPECT_NE(installed.find("pcm.sonotrap {\n    type sonotrap\n"), std::string::npos);
    EXPECT_NE(installed.find("description \"Sonotrap\""), std::string::npos);
    EXPECT_EQ(installed.back(), '\n');
    EXPECT_EQ(install(installed), installed);
    bool found = false;
    EXPECT_EQ(uninstall(installed, &found), original);
    EXPECT_TRUE(found);
    EXPECT_EQ(uninstall(original, &found), original);
    EXPECT_FALSE(found);
}

INSTANTIATE_TEST_SUITE_P(UserFiles, AsoundrcRoundTrip, ::testing::ValuesIn(kUserFiles));

TEST(AsoundrcBlock, ReplacesAnOlderBlockWhereItStandsAndKeepsWhatFollows)
{
    const std::string before = "pcm.a { type null }\n";
    const std::string after = "pcm.b { type null }\n";
    const std::string old = "# >>> sonotrap-register: pcm.sonotrap >>>\npcm.sonotrap { type sonotrap }\n"
                            "# <<< sonotrap-register: pcm.sonotrap <<<\n";
    const std::string fresh = install("");
    EXPECT_EQ(install(before + old + after), before + fresh + after);
    EXPECT_EQ(uninstall(before + old + after), before + after);
}

TEST(AsoundrcBlock, TextWrittenAfterABlockThatNeededALineEndKeepsItsOwnLine)
{
    const std::string installed = install("pcm.a { type null }") + "pcm.b { type null }\n";
    EXPECT_EQ(uninstall(installed), "pcm.a { type null }\npcm.b { type null }\n");
}

TEST(AsoundrcBlock, ABeginMarkerWithoutItsEndLeavesTheFileAlone)
{
    const std::string damaged = "x\n# >>> sonotrap-register: pcm.sonotrap >>>\npcm.sonotrap { type sonotrap }\n";
    sonotrap_text result{nullptr, 0};
    int found = 0;
    EXPECT_EQ(sonotrap_asoundrc_install(damaged.data(), damaged.size(), &result), SONOTRAP_ASOUNDRC_DAMAGED);
    EXPECT_EQ(sonotrap_asoundrc_uninstall(damaged.data(), damaged.size(), &result, &found), SONOTRAP_ASOUNDRC_DAMAGED);
}

} // namespace
