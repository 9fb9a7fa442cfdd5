#pragma once

#include "ui/ShellCommand.h"

#include <optional>

class LibraryActions;
class Page2;
class PlayerGlue;

// Carries out the commands of the main window's controls: hands each to the library actions,
// the player glue or the window itself.
class WindowDispatch final
{
public:
    WindowDispatch(Page2& window, LibraryActions& library, PlayerGlue& player);
    WindowDispatch(const WindowDispatch&) = delete;
    WindowDispatch& operator=(const WindowDispatch&) = delete;

    void dispatch(ShellCommand command);
    // The last command dispatched; empty before the first.
    std::optional<ShellCommand> lastCommand() const { return m_lastCommand; }

private:
    Page2& m_window;
    LibraryActions& m_library;
    PlayerGlue& m_player;
    std::optional<ShellCommand> m_lastCommand;
};
