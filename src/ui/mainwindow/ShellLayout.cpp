#include "ui/mainwindow/ShellLayout.h"

namespace {

constexpr int kFiltersHeight = 156;
constexpr int kBarHeight = 34;

} // namespace

int ShellLayout::bandHeight(int windowHeight)
{
    return std::max(95, windowHeight - 450);
}

ShellLayout ShellLayout::compute(const QSize& window, bool downloadsShown, bool russian)
{
    ShellLayout layout;
    const int w = window.width();
    const int t = bandHeight(window.height());
    layout.band = t;
    layout.menu = QRect(0, 0, 50, window.height());
    const int listWidth = (w - 95) / 2;
    layout.table = QRect(58, 15, downloadsShown ? TableWidthBeside : w - 80, t - 11);
    layout.downloads = QRect(w - listWidth - 22, 15, listWidth, t - 11);
    layout.video = QRect(59, t + 14, 640, 360);
    layout.playBar = QRect(59, t + 379, 640, kBarHeight);

    // The right column beside the video: filters on top, thumbnails below, and in the Russian
    // interface the traffic monitor level with the control bar.
    const int columnWidth = w - RightColumnLeft - 8;
    layout.filters = QRect(RightColumnLeft, t + 14, columnWidth, kFiltersHeight);
    const int stripTop = layout.filters.bottom() + 1 + 6;
    const int stripBottom = russian ? layout.playBar.top() - 6 : layout.playBar.bottom();
    layout.strip = QRect(RightColumnLeft, stripTop, columnWidth, std::max(0, stripBottom - stripTop + 1));
    layout.monitor = russian ? QRect(RightColumnLeft, layout.playBar.top(), columnWidth, kBarHeight) : QRect();
    return layout;
}
