// How the tool windows look: the desktop's palette, whatever their parent sets.
#include "ui/tools/ToolStyle.h"

#include <QWidget>

namespace ToolStyle {

void followPalette(QWidget* window)
{
    window->setStyleSheet(
        window->styleSheet() +
        QStringLiteral("QTreeView, QListView, QTreeWidget, QPlainTextEdit {"
                       " background: palette(base); color: palette(text); border: 1px solid palette(mid);"
                       " alternate-background-color: palette(alternate-base);"
                       " selection-background-color: palette(highlight); selection-color: palette(highlighted-text); }"
                       "QHeaderView::section { background: palette(button); color: palette(button-text); }"
                       "QLineEdit { background: palette(base); color: palette(text); }"));
}

} // namespace ToolStyle
