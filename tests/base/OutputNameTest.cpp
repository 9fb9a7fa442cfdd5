#include "base/OutputName.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputNameNumbered, TheNumberGoesBeforeTheLastExtension)
{
    const struct
    {
        const char* path;
        int n;
        const char* numbered;
    } rows[] = {
        {"/out/Title.mp4", 1, "/out/Title.mp4"}, // the name itself first
        {"/out/Title.mp4", 0, "/out/Title.mp4"},
        {"/out/Title.mp4", 2, "/out/Title (2).mp4"},
        {"/out/Title.mp4", 12, "/out/Title (12).mp4"},
        {"/out/Live at 9.30.webm", 2, "/out/Live at 9.30 (2).webm"},
        {"/out/Fragment of clip", 3, "/out/Fragment of clip (3)"},
        {"/out/My Folder.d/clip.mp4", 2, "/out/My Folder.d/clip (2).mp4"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(OutputName::numbered(QString::fromUtf8(row.path), row.n), QString::fromUtf8(row.numbered))
            << row.path << " " << row.n;
}

} // namespace
