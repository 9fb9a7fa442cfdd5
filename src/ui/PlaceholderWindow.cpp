#include "ui/PlaceholderWindow.h"

#include "app/Texts.h"
#include "app/Trace.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderWindow::PlaceholderWindow(QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(Texts::displayName());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Texts::displayName(), this));
    resize(640, 400);
}

void PlaceholderWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    trace(QStringLiteral("Window: shown"));
}
