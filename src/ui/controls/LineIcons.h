#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

// Line icons of the drawn controls, painted with QPainter paths so that they stay sharp at
// any size and follow the palette of the control that draws them.
namespace LineIcons {

enum class Icon
{
    Download,
    Microphone,
    Scissors,
    Convert,
    Trash,
    Pencil,
    Import,
    Export,
    Disc,
    Grid,
    Gear,
    Info,
    Help,
    Play,
    Pause,
    Replay,
    Stop,
    External,
    Camera,
    Speaker,
    SpeakerMuted,
    Minus,
    Plus,
    Power,
    Globe,
};

void paint(QPainter& painter, const QRectF& box, Icon icon, const QColor& color);

// The program's own icon (window and tray): a play mark on a rounded tile.
QIcon applicationIcon();

} // namespace LineIcons
