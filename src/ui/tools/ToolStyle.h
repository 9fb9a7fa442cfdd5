// How the tool windows look: the desktop's palette, whatever their parent sets.
#pragma once

class QWidget;

namespace ToolStyle {

// Makes window draw its lists, headers and text fields in the colours of its own palette.
// A style sheet of the parent window reaches every window opened over it; a sheet that paints
// a light background under the theme's light text would leave white on white in a dark
// theme. Every colour set here comes in a pair (background and text) from one palette.
void followPalette(QWidget* window);

} // namespace ToolStyle
