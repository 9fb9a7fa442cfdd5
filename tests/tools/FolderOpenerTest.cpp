// Whether a folder may be handed to xdg-open, asked of the real xdg-mime over a desktop of the
// test's own: a file manager, a web browser or nothing set for folders.
#include "tools/FolderOpener.h"

#include "support/DesktopFolderHandler.h"
#include "support/QStringPrinter.h"
#include "support/SkipUnlessCi.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

TEST(FolderOpener, OnlyAFileManagerOpensFolders)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("xdg-mime is not installed (package xdg-utils)");
    struct Case
    {
        DesktopFolderHandler::Kind kind;
        const char* id;
        bool opens;
    };
    const Case cases[] = {
        {DesktopFolderHandler::Kind::FileManager, "testfiles.desktop", true},
        {DesktopFolderHandler::Kind::Browser, "testbrowser.desktop", false},
        // Nothing set: xdg-mime falls back to an entry that lists folders, here a browser.
        {DesktopFolderHandler::Kind::BrowserOnly, "testbrowser.desktop", false},
        {DesktopFolderHandler::Kind::None, "", false},
    };
    for (const Case& c : cases) {
        const DesktopFolderHandler desktop(c.kind);
        ASSERT_TRUE(desktop.valid());
        const FolderOpener::Handler handler = FolderOpener::folderHandler();
        EXPECT_EQ(handler.desktopId, QString::fromLatin1(c.id));
        EXPECT_EQ(handler.opensFolders(), c.opens) << c.id;
    }
}

TEST(FolderOpener, AnswersAndEntriesAreReadExactly)
{
    struct IdCase
    {
        const char* answer;
        const char* id;
    };
    const IdCase ids[] = {
        {"org.gnome.Nautilus.desktop\n", "org.gnome.Nautilus.desktop"},
        {"  pcmanfm.desktop  ", "pcmanfm.desktop"},
        {"", ""},
        {"nautilus", ""},                 // no desktop id
        {"../../etc/passwd.desktop", ""}, // a path, not an id
        {"two words.desktop", ""},        // a space
        {".desktop", ""},                 // no name
        {"x;rm -rf ~.desktop", ""},       // shell characters
    };
    for (const IdCase& c : ids)
        EXPECT_EQ(FolderOpener::desktopIdFrom(QString::fromLatin1(c.answer)), QString::fromLatin1(c.id)) << c.answer;
    EXPECT_TRUE(FolderOpener::desktopIdFrom(QString(300, u'a') + QStringLiteral(".desktop")).isEmpty());

    struct EntryCase
    {
        const char* entry;
        bool browser;
    };
    const EntryCase entries[] = {
        {"[Desktop Entry]\nCategories=Network;WebBrowser;\n", true},
        {"[Desktop Entry]\nMimeType=text/html;x-scheme-handler/https;\n", true},
        {"[Desktop Entry]\nCategories=System;FileManager;\nMimeType=inode/directory;\n", false},
        // Only the main group counts, and only the whole word.
        {"[Desktop Entry]\nCategories=Utility;\n[Desktop Action web]\nCategories=WebBrowser;\n", false},
        {"[Desktop Entry]\nCategories=WebBrowserish;\n", false},
        {"[Desktop Entry]\nCategories = Network ; WebBrowser\n", true},
    };
    for (const EntryCase& c : entries)
        EXPECT_EQ(FolderOpener::isBrowserEntry(QByteArray(c.entry)), c.browser) << c.entry;
}

} // namespace
