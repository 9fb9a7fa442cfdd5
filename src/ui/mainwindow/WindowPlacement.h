#pragma once

#include <QRect>
#include <QString>

#include <optional>

// The stored main-window placement, "W x H : left ; top" written as "888x696:120;40", or
// "NotSet" before the first save.
namespace WindowPlacement {

constexpr int DefaultWidth = 888;
constexpr int DefaultHeight = 696;
constexpr int MaxWidth = 2560;
constexpr int MaxHeight = 1920;

QString format(const QRect& geometry);

// The stored rectangle when it parses and lies within the limits (left and top not negative,
// width and left at most 2560, height and top at most 1920); otherwise nothing, and the window
// opens at its default size.
std::optional<QRect> parse(const QString& stored);

// The stored rectangle moved and shrunk as little as needed to lie within `available` (the
// screens' free area, without panels): a screen unplugged or made smaller since the last run
// must not leave the window out of reach or larger than what can be seen.
QRect fitted(const QRect& stored, const QRect& available);

} // namespace WindowPlacement
