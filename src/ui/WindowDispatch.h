#pragma once

#include "ui/CommandDispatch.h"

#include <QString>

class LibraryActions;
class Page2;
class PlayerGlue;

// Carries out the request texts of the main window's four movies: finds the command and hands
// it to the library actions, the player glue or the window itself.
class WindowDispatch final
{
public:
    WindowDispatch(Page2& window, LibraryActions& library, PlayerGlue& player);
    WindowDispatch(const WindowDispatch&) = delete;
    WindowDispatch& operator=(const WindowDispatch&) = delete;

    void dispatch(const QString& request);
    ShellCommand lastCommand() const { return m_lastCommand; }

private:
    Page2& m_window;
    LibraryActions& m_library;
    PlayerGlue& m_player;
    ShellCommand m_lastCommand = ShellCommand::None;
};
