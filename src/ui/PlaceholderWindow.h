#pragma once

#include <QWidget>

// A plain window titled with the display name, standing in for the main window until it
// exists. A later start of the program brings it forward.
class PlaceholderWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceholderWindow)

public:
    explicit PlaceholderWindow(QWidget* parent = nullptr);

    // Shows the window restored and in front (what a second start asks for).
    void bringToFront();
};
