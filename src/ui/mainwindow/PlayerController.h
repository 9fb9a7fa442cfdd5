#pragma once

#include "ui/controls/ShellCommand.h"

class MediaSelection;
class MediaTableModel;
class Player;
class Prompts;

// Between the main window and its player: which file a row or a slideshow photo plays, the
// control bar's commands and the stored volume.
class PlayerController final
{
public:
    PlayerController(const MediaTableModel& model, MediaSelection& selection, Prompts& prompts, Player& player);
    PlayerController(const PlayerController&) = delete;
    PlayerController& operator=(const PlayerController&) = delete;

    // Silent preview of a row (after a click or an insertion), and playing it with sound.
    void previewRow(int row);
    void playRow(int row);
    // A command of the control bar or the video area.
    void command(ShellCommand command);
    // The control bar's slider was released at this percentage.
    void seek(double percent);
    // A photo of the thumbnail strip: the row whose file it shows, or the file itself.
    void playListClick(int photoIndex);
    void applyStoredVolume();
    void windowActivated();

private:
    const MediaTableModel& m_model;
    MediaSelection& m_selection;
    Prompts& m_prompts;
    Player& m_player;
};
