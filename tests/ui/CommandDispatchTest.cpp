#include "ui/CommandDispatch.h"
#include "ui/MovieRequest.h"

#include <gtest/gtest.h>

namespace {

QString request(const QString& name)
{
    return MovieRequest::build(name);
}

struct DispatchCase
{
    const char* text;
    ShellCommand expected;
};

TEST(CommandDispatch, FindsTheFirstNameOfTheSearchOrder)
{
    const DispatchCase cases[] = {
        // Every name a movie sends maps to itself.
        {"DownloadVideoByURL", ShellCommand::DownloadVideoByURL},
        {"OpenBrowser", ShellCommand::OpenBrowser},
        {"RecordVideo", ShellCommand::RecordVideo},
        {"RecordAudio", ShellCommand::RecordAudio},
        {"CutMediaFile", ShellCommand::CutMediaFile},
        {"ConvertFromMenu", ShellCommand::ConvertFromMenu},
        {"MovieDelete", ShellCommand::MovieDelete},
        {"MovieRename", ShellCommand::MovieRename},
        {"Import", ShellCommand::Import},
        {"Export", ShellCommand::Export},
        {"Burn", ShellCommand::Burn},
        {"View", ShellCommand::View},
        {"Settings", ShellCommand::Settings},
        {"FileInfo", ShellCommand::FileInfo},
        {"Support", ShellCommand::Support},
        {"MoveMySliderBBBBB(12.5)EEEEE", ShellCommand::MoveMySlider},
        {"PlayerPlay", ShellCommand::PlayerPlay},
        {"ExternalPlayer", ShellCommand::ExternalPlayer},
        {"PlayerPause", ShellCommand::PlayerPause},
        {"PlayerReplay", ShellCommand::PlayerReplay},
        {"PlayerStrop", ShellCommand::PlayerStrop},
        {"MakeScreenShot", ShellCommand::MakeScreenShot},
        {"VolumeMute", ShellCommand::VolumeMute},
        {"VolumeMinus", ShellCommand::VolumeMinus},
        {"VolumePlus", ShellCommand::VolumePlus},
        {"Disable", ShellCommand::Disable},
        {"Enable", ShellCommand::Enable},
        {"ClickInPlayer", ShellCommand::ClickInPlayer},
        {"PlayListClick_3", ShellCommand::PlayListClick},
        // Substring search: a longer name that contains a command triggers it.
        {"PlayerPlayAgain", ShellCommand::PlayerPlay},
        {"MyImportTool", ShellCommand::Import},
        {"ReImportLater", ShellCommand::Import},
        // Two names in one text: the earlier one in the search order wins, not the earlier
        // one in the text.
        {"EnableDisable", ShellCommand::Disable},
        {"PlayerPauseExport", ShellCommand::Export},
        {"VolumePlusSettings", ShellCommand::Settings},
        {"ViewMovieDelete", ShellCommand::MovieDelete},
        {"PlayListClick_View", ShellCommand::View},
        // Case matters and a name cut short is no name.
        {"playerplay", ShellCommand::None},
        {"PlayerPla", ShellCommand::None},
        {"SomethingElse", ShellCommand::None},
    };
    for (const DispatchCase& row : cases) {
        const QString text = request(QString::fromLatin1(row.text));
        EXPECT_EQ(CommandDispatch::find(text), row.expected) << row.text;
    }
    EXPECT_EQ(CommandDispatch::find(QString()), ShellCommand::None);
}

TEST(CommandDispatch, SearchesArgumentsToo)
{
    // The whole text is searched, so a name inside an argument counts as well.
    const QString text = MovieRequest::build(QStringLiteral("Unknown"), {MovieRequest::string(QStringLiteral("Burn"))});
    EXPECT_EQ(CommandDispatch::find(text), ShellCommand::Burn);
}

TEST(CommandDispatch, SearchOrderMatchesTheEnum)
{
    const QStringList& names = CommandDispatch::searchOrder();
    ASSERT_EQ(names.size(), int(ShellCommand::None));
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(CommandDispatch::nameOf(ShellCommand(i)), names.at(i));
    EXPECT_TRUE(CommandDispatch::nameOf(ShellCommand::None).isEmpty());
}

TEST(CommandDispatch, ReadsTheSliderPercent)
{
    const struct
    {
        const char* text;
        std::optional<double> expected;
    } cases[] = {
        {"MoveMySliderBBBBB(42.5)EEEEE", 42.5},     {"MoveMySliderBBBBB(0)EEEEE", 0.0},
        {"MoveMySliderBBBBB(100)EEEEE", 100.0},     {"MoveMySliderBBBBB( 7 )EEEEE", 7.0},
        {"MoveMySliderBBBBB()EEEEE", std::nullopt}, {"MoveMySliderBBBBB(abc)EEEEE", std::nullopt},
        {"MoveMySliderBBBBB(12", std::nullopt},     {"MoveMySlider", std::nullopt},
    };
    for (const auto& row : cases) {
        const auto percent = CommandDispatch::sliderPercent(request(QString::fromLatin1(row.text)));
        ASSERT_EQ(percent.has_value(), row.expected.has_value()) << row.text;
        if (percent) {
            EXPECT_DOUBLE_EQ(*percent, *row.expected) << row.text;
        }
    }
}

TEST(CommandDispatch, ReadsThePlayListIndex)
{
    const struct
    {
        QString text;
        std::optional<int> expected;
    } cases[] = {
        {request(QStringLiteral("PlayListClick_0")), 0},
        {request(QStringLiteral("PlayListClick_17")), 17},
        // Every occurrence is removed, so a doubled marker still reads the number.
        {request(QStringLiteral("PlayListClick_PlayListClick_4")), 4},
        // The number comes from the name attribute only.
        {MovieRequest::build(QStringLiteral("PlayListClick_2"), {MovieRequest::string(QStringLiteral("9"))}), 2},
        {request(QStringLiteral("PlayListClick_")), std::nullopt},
        {request(QStringLiteral("PlayListClick_x1")), std::nullopt},
        {request(QStringLiteral("PlayListClick_-1")), std::nullopt},
        {QStringLiteral("PlayListClick_5 without quotes"), std::nullopt},
    };
    for (const auto& row : cases) {
        const auto index = CommandDispatch::playListIndex(row.text);
        EXPECT_EQ(index, row.expected) << qPrintable(row.text);
    }
}

} // namespace
