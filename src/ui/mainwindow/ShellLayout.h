#pragma once

#include <QRect>
#include <QSize>

// Where the main window's parts go for a window of a given size. The table (and the download
// list beside it while downloads run) fill the band at the top; below it the video area keeps
// 16:9 over its control bar, the right column holds the filters and the thumbnail strip (and
// in the Russian interface the traffic monitor level with the bar), and the capture status line
// runs along the bottom. Every part grows with the window; the band takes what the video leaves.
struct ShellLayout
{
    static constexpr int DefaultWidth = 888;
    static constexpr int DefaultHeight = 696;
    static constexpr int MinBand = 95; // the table always shows a few rows
    static constexpr int MinVideoWidth = 320;
    static constexpr int MinStrip = 60; // at least one thumbnail below the filters

    // What the parts need at the current font: the right column's width and the filters'
    // height (at that width), and the status line's height.
    struct Needs
    {
        int columnWidth = 173;
        int filtersHeight = 156;
        int statusHeight = 22;
    };

    QRect menu;
    QRect table;
    QRect downloads;
    QRect video;
    QRect playBar;
    QRect filters; // title filter, time filter, check-all box
    QRect strip;
    QRect monitor; // empty in the English interface
    QRect status;

    static ShellLayout compute(const QSize& window, bool downloadsShown, bool russian, const Needs& needs);
    // At the default font's needs.
    static ShellLayout compute(const QSize& window, bool downloadsShown, bool russian);
    // The smallest window in which every part keeps what it needs.
    static QSize minimumSize(const Needs& needs);
};
