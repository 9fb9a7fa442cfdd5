#pragma once

#include <QColor>

// The colours of the main window's drawn controls: a dark rail and bar around a light table.
namespace ShellTheme {

inline QColor rail()
{
    return QColor(0x1e, 0x29, 0x3b);
}
inline QColor railLight()
{
    return QColor(0x33, 0x41, 0x55);
}
inline QColor bar()
{
    return QColor(0x0f, 0x17, 0x2a);
}
inline QColor accent()
{
    return QColor(0x38, 0xbd, 0xf8);
}
inline QColor accentStrong()
{
    return QColor(0x0e, 0xa5, 0xe9);
}
inline QColor iconIdle()
{
    return QColor(0xcb, 0xd5, 0xe1);
}
inline QColor iconHot()
{
    return QColor(0xff, 0xff, 0xff);
}
inline QColor textDim()
{
    return QColor(0x94, 0xa3, 0xb8);
}
inline QColor window()
{
    return QColor(0xf8, 0xfa, 0xfc);
}

} // namespace ShellTheme
