#pragma once

#include "ui/controls/ShellCommand.h"

#include <QObject>

#include <optional>

class LibraryActions;
class MediaTableModel;
class PlayerController;
class Prompts;

// Carries out the commands of the main window's controls: hands each to the library actions or
// the player controller, and asks the window for its own windows and switches by signals.
class CommandRouter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommandRouter)

public:
    CommandRouter(const MediaTableModel& model,
                  LibraryActions& library,
                  PlayerController& player,
                  Prompts& prompts,
                  QObject* parent = nullptr);
    ~CommandRouter() override;

    void dispatch(ShellCommand command);
    // The last command dispatched; empty before the first.
    std::optional<ShellCommand> lastCommand() const { return m_lastCommand; }

signals:
    // A tool window: the link downloader, the sound recorder, the cutter or the converter.
    void toolRequested(ShellCommand command);
    void importRequested();
    void browserRequested();
    void viewToggleRequested();
    void settingsRequested();
    void fileInfoRequested();
    void manualRequested();
    // The traffic monitoring switch, turned on or off.
    void monitoringRequested(bool on);

private:
    const MediaTableModel& m_model;
    LibraryActions& m_library;
    PlayerController& m_player;
    Prompts& m_prompts;
    std::optional<ShellCommand> m_lastCommand;
};
