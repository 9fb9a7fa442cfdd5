#pragma once

#include "ui/controls/ShellCommand.h"

#include <optional>

class LibraryActions;
class Page2;
class PlayerController;

// Carries out the commands of the main window's controls: hands each to the library actions,
// the player controller or the window itself.
class CommandRouter final
{
public:
    CommandRouter(Page2& window, LibraryActions& library, PlayerController& player);
    CommandRouter(const CommandRouter&) = delete;
    CommandRouter& operator=(const CommandRouter&) = delete;

    void dispatch(ShellCommand command);
    // The last command dispatched; empty before the first.
    std::optional<ShellCommand> lastCommand() const { return m_lastCommand; }

private:
    Page2& m_window;
    LibraryActions& m_library;
    PlayerController& m_player;
    std::optional<ShellCommand> m_lastCommand;
};
