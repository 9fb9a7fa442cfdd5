#pragma once

#include <QRect>
#include <QSize>

// Where the main window's parts go for a window of a given size. The band height T grows
// with the window (T = height - 450, at least 95): the table and the download list share the
// band at the top; the video area, its control bar and the thumbnail column sit below it.
struct ShellLayout
{
    static constexpr int FixedWidth = 888;
    static constexpr int MinHeight = 570;
    static constexpr int TableWidthBeside = 404; // while the download list is shown
    static constexpr int RightColumnLeft = 707;

    int band = 0;
    QRect menu;
    QRect table;
    QRect downloads;
    QRect video;
    QRect playBar;
    QRect filters; // title filter, time filter, check-all box
    QRect strip;
    QRect monitor; // empty in the English interface

    static int bandHeight(int windowHeight);
    static ShellLayout compute(const QSize& window, bool downloadsShown, bool russian);
};
