#pragma once

#include <QPalette>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QWidget;
class ShellFixture;

// The desktop palettes the tool windows are looked at in, and the tool windows themselves,
// each opened over the main window as the program opens it (its style sheet reaches them).
namespace ToolWindows {

struct Theme
{
    const char* name;
    QPalette palette;
};
std::vector<Theme> themes(); // light, dark, high contrast

struct Window
{
    const char* name;
    std::function<std::unique_ptr<QWidget>(ShellFixture& shell, const QString& scratchDir)> open;
};
std::vector<Window> windows();

// The notices of a first start without the capture permission, with a long helper path.
QStringList startNotices();
QString longHelperPath();

// The colour drawn in the empty corner of a list or text field (its background).
QColor backgroundOf(QWidget* widget);
// Relative luminance, 0..1.
double luminance(const QColor& colour);

} // namespace ToolWindows
