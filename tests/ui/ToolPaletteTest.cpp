// Every tool window in a light, a dark and a high-contrast desktop palette: the lists and text
// fields are drawn in the palette's colours, with text that stands out from its background,
// also when the main window they are opened over has a style sheet of its own.
#include "ToolWindows.h"

#include "ShellFixture.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

double contrast(const QColor& a, const QColor& b)
{
    const double first = ToolWindows::luminance(a);
    const double second = ToolWindows::luminance(b);
    return (qMax(first, second) + 0.05) / (qMin(first, second) + 0.05);
}

class PaletteScope
{
public:
    explicit PaletteScope(const QPalette& palette)
        : m_old(QApplication::palette())
    {
        QApplication::setPalette(palette);
    }
    ~PaletteScope() { QApplication::setPalette(m_old); }
    Q_DISABLE_COPY_MOVE(PaletteScope)

private:
    QPalette m_old;
};

TEST(ToolPalette, ListsAndFieldsFollowTheDesktopPaletteInEveryWindow)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    int looked = 0;
    for (const ToolWindows::Theme& theme : ToolWindows::themes()) {
        const PaletteScope scope(theme.palette);
        ShellFixture shell;
        for (const ToolWindows::Window& entry : ToolWindows::windows()) {
            const std::unique_ptr<QWidget> window = entry.open(shell, scratch.path());
            window->show();
            const std::string where = std::string(theme.name) + " " + entry.name;

            // The window itself: its text on its background.
            const QColor windowBackground = ToolWindows::backgroundOf(window.get());
            EXPECT_GE(contrast(windowBackground, window->palette().color(QPalette::WindowText)), 4.5) << where;

            QList<QWidget*> fields;
            for (QAbstractScrollArea* area : window->findChildren<QAbstractScrollArea*>())
                fields << area->viewport();
            for (QLineEdit* edit : window->findChildren<QLineEdit*>())
                fields << edit;
            for (QWidget* field : std::as_const(fields)) {
                if (!field->isVisibleTo(window.get()) || field->width() < 20 || field->height() < 14)
                    continue;
                ++looked;
                const QWidget* owner = qobject_cast<QLineEdit*>(field) ? field : field->parentWidget();
                const QColor background = ToolWindows::backgroundOf(field);
                const QColor text = owner->palette().color(QPalette::Text);
                EXPECT_LT(
                    qAbs(ToolWindows::luminance(background) - ToolWindows::luminance(theme.palette.base().color())),
                    0.15)
                    << where << " " << owner->metaObject()->className() << " draws " << qPrintable(background.name())
                    << " instead of the palette's " << qPrintable(theme.palette.base().color().name());
                // Greyed-out text of a disabled field may be faint.
                if (owner->isEnabled()) {
                    EXPECT_GE(contrast(background, text), 4.5)
                        << where << " " << owner->metaObject()->className() << ": text " << qPrintable(text.name())
                        << " on " << qPrintable(background.name());
                }
            }
            window->close();
        }
    }
    EXPECT_GT(looked, 20) << "the lists and fields of the windows were looked at";
}

} // namespace
