#include "ui/mainwindow/ShellLayout.h"

#include <algorithm>

namespace {

constexpr int kRail = 50;
constexpr int kLeft = 58;
constexpr int kRight = 8;
constexpr int kTop = 15;
constexpr int kGap = 8;
constexpr int kBandGap = 10; // between the band and the video
constexpr int kBarGap = 5;   // between the video and its bar
constexpr int kBarHeight = 34;
constexpr int kStatusGap = 6;
constexpr int kBottom = 4;

int columnWidthFor(int windowWidth, const ShellLayout::Needs& needs)
{
    // About a fifth of the content, never less than the filters need.
    return std::max(needs.columnWidth, (windowWidth - kLeft - kRight) * 21 / 100);
}

// The height the video and the band share.
int sharedHeight(int windowHeight, const ShellLayout::Needs& needs)
{
    return windowHeight - kTop - kBandGap - kBarGap - kBarHeight - kStatusGap - needs.statusHeight - kBottom;
}

// The lowest video that leaves the column room for the filters and one thumbnail.
int minimumVideoHeight(const ShellLayout::Needs& needs)
{
    return std::max(ShellLayout::MinVideoWidth * 9 / 16,
                    needs.filtersHeight + kGap + ShellLayout::MinStrip - kBarGap - kBarHeight);
}

} // namespace

ShellLayout ShellLayout::compute(const QSize& window, bool downloadsShown, bool russian, const Needs& needs)
{
    ShellLayout layout;
    const int w = window.width();
    const int h = window.height();
    const int content = w - kLeft - kRight;
    const int column = columnWidthFor(w, needs);
    const int videoWidth = std::max(MinVideoWidth, content - kGap - column);

    // The video keeps 16:9 of its width but leaves the band at least two fifths of the height
    // they share, and never less than its own minimum.
    const int shared = sharedHeight(h, needs);
    int videoHeight = std::min(videoWidth * 9 / 16, shared * 3 / 5);
    videoHeight = std::max(videoHeight, minimumVideoHeight(needs));
    const int band = std::max(MinBand, shared - videoHeight);

    layout.menu = QRect(0, 0, kRail, h);
    if (downloadsShown) {
        const int tableWidth = (content - kGap) / 2;
        layout.table = QRect(kLeft, kTop, tableWidth, band);
        layout.downloads = QRect(kLeft + tableWidth + kGap, kTop, content - tableWidth - kGap, band);
    } else {
        layout.table = QRect(kLeft, kTop, content, band);
        layout.downloads = QRect(kLeft + content / 2 + kGap, kTop, content - content / 2 - kGap, band);
    }
    const int videoTop = kTop + band + kBandGap;
    layout.video = QRect(kLeft, videoTop, videoWidth, videoHeight);
    layout.playBar = QRect(kLeft, layout.video.bottom() + 1 + kBarGap, videoWidth, kBarHeight);

    const int columnLeft = kLeft + videoWidth + kGap;
    const int columnWidth = w - kRight - columnLeft;
    layout.filters = QRect(columnLeft, videoTop, columnWidth, needs.filtersHeight);
    const int stripTop = layout.filters.bottom() + 1 + kGap;
    const int stripBottom = russian ? layout.playBar.top() - kGap : layout.playBar.bottom();
    layout.strip = QRect(columnLeft, stripTop, columnWidth, std::max(0, stripBottom - stripTop + 1));
    layout.monitor = russian ? QRect(columnLeft, layout.playBar.top(), columnWidth, kBarHeight) : QRect();
    layout.status = QRect(kLeft, layout.playBar.bottom() + 1 + kStatusGap, content, needs.statusHeight);
    return layout;
}

ShellLayout ShellLayout::compute(const QSize& window, bool downloadsShown, bool russian)
{
    return compute(window, downloadsShown, russian, Needs{});
}

QSize ShellLayout::minimumSize(const Needs& needs)
{
    const int width = kLeft + MinVideoWidth + kGap + needs.columnWidth + kRight;
    const int height = kTop + MinBand + kBandGap + minimumVideoHeight(needs) + kBarGap + kBarHeight + kStatusGap +
                       needs.statusHeight + kBottom;
    return {width, height};
}
