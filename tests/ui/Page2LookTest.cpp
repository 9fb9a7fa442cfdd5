// The main window in light, dark and high-contrast palettes, at any size and font: texts keep
// their contrast, parts take the room and never overlap, and nothing is cut. Screenshots of each
// palette at 1x and 2x are kept in the build tree (test-artifacts/screens/).
#include "ShellFixture.h"

#include "base/AppPaths.h"
#include "ui/controls/MenuRail.h"
#include "ui/controls/PlayerBar.h"
#include "ui/controls/ThumbnailStrip.h"
#include "ui/mainwindow/FilterPanel.h"
#include "ui/mainwindow/MediaViews.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct NamedPalette
{
    const char* name;
    QPalette palette;
};

QPalette darkPalette()
{
    QPalette palette;
    const QColor text(0xe6, 0xe6, 0xe6);
    palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::AlternateBase, QColor(0x28, 0x28, 0x28));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    palette.setColor(QPalette::ToolTipBase, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    return palette;
}

QPalette highContrastPalette()
{
    QPalette palette;
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase, QPalette::Button})
        palette.setColor(role, Qt::black);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, Qt::white);
    palette.setColor(QPalette::Highlight, Qt::yellow);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::Mid, Qt::white);
    return palette;
}

std::vector<NamedPalette> palettes()
{
    return {{"light", QApplication::style()->standardPalette()},
            {"dark", darkPalette()},
            {"high-contrast", highContrastPalette()}};
}

// The application's palette for the life of the object.
class ScopedPalette final
{
public:
    explicit ScopedPalette(const QPalette& palette)
        : m_saved(QApplication::palette())
    {
        QApplication::setPalette(palette);
    }
    ~ScopedPalette() { QApplication::setPalette(m_saved); }
    ScopedPalette(const ScopedPalette&) = delete;
    ScopedPalette& operator=(const ScopedPalette&) = delete;

private:
    QPalette m_saved;
};

double luminance(QRgb pixel)
{
    return (0.2126 * qRed(pixel) + 0.7152 * qGreen(pixel) + 0.0722 * qBlue(pixel)) / 255.0;
}

// Pixels in region that stand out from background as text does.
int inkPixels(const QImage& image, const QRect& region, const QColor& background)
{
    const double ground = luminance(background.rgb());
    int count = 0;
    const QRect inside = region.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (std::abs(luminance(image.pixel(x, y)) - ground) > 0.4)
                ++count;
        }
    }
    return count;
}

QImage grabOf(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    widget->render(&image);
    return image;
}

void fillLibrary(ShellFixture& shell)
{
    shell.settle();
    shell.addRow(QStringLiteral("Evening news"), QStringLiteral("1700000001"));
    shell.addRow(QStringLiteral("A song from the radio"), QStringLiteral("1700000002"));
    shell.addRow(QStringLiteral("Mountain lake, long take"), QStringLiteral("1700000003"));
}

TEST(Page2Look, TableAndFiltersFollowEveryPalette)
{
    for (const NamedPalette& named : palettes()) {
        SCOPED_TRACE(named.name);
        const ScopedPalette scoped(named.palette);
        ShellFixture shell;
        fillLibrary(shell);
        shell.page().show();
        QCoreApplication::processEvents();

        // The table's empty part is the palette's base, and its rows' texts stand out from it.
        QWidget* viewport = shell.page().table()->viewport();
        const QImage table = grabOf(viewport);
        const QColor base = named.palette.color(QPalette::Base);
        const QRgb empty = table.pixel(table.width() - 10, table.height() - 5);
        EXPECT_LT(std::abs(luminance(empty) - luminance(base.rgb())), 0.1) << QColor(empty).name().toStdString();
        const QRect firstRow = shell.page().table()->visualRect(shell.model().index(0, 0));
        EXPECT_GT(inkPixels(table, firstRow.adjusted(40, 0, 0, 0), base), 20) << "row text lost in its background";

        // The filters' headings and buttons, on the window's colour.
        const QImage filters = grabOf(shell.page().filters());
        const QColor window = named.palette.color(QPalette::Window);
        for (QWidget* part :
             {static_cast<QWidget*>(shell.page().filters()->findChild<QLabel*>(QStringLiteral("filterHeading"))),
              static_cast<QWidget*>(shell.page().filters()->timeButton(1))}) {
            ASSERT_NE(part, nullptr);
            EXPECT_GT(inkPixels(filters, part->geometry(), window), 10) << part->objectName().toStdString();
        }
        // The status line too.
        const QImage status = grabOf(shell.page().statusLine());
        EXPECT_GT(inkPixels(status, status.rect(), window), 10);
    }
}

// Every part inside the window, none over another.
void expectTiled(Page2& page)
{
    const QList<QWidget*> parts = {
        static_cast<QWidget*>(page.table()),          page.videoArea(),
        static_cast<QWidget*>(page.playerBar()),      static_cast<QWidget*>(page.filters()),
        static_cast<QWidget*>(page.thumbnailStrip()), static_cast<QWidget*>(page.statusLine()),
        static_cast<QWidget*>(page.menuRail())};
    for (int i = 0; i < parts.size(); ++i) {
        const QRect box = parts.at(i)->geometry();
        EXPECT_FALSE(box.isEmpty()) << parts.at(i)->objectName().toStdString();
        EXPECT_TRUE(page.rect().contains(box)) << parts.at(i)->objectName().toStdString();
        for (int j = i + 1; j < parts.size(); ++j) {
            EXPECT_FALSE(box.intersects(parts.at(j)->geometry()))
                << parts.at(i)->objectName().toStdString() << " over " << parts.at(j)->objectName().toStdString();
        }
    }
}

TEST(Page2Look, TheWindowResizesAndItsPartsTakeTheRoom)
{
    ShellFixture shell;
    fillLibrary(shell);
    Page2& page = shell.page();
    page.show();
    expectTiled(page);
    const QSize tableBefore = page.table()->size();
    const QSize videoBefore = page.videoArea()->size();
    const QSize stripBefore = page.thumbnailStrip()->size();

    page.resize(1500, 1000);
    expectTiled(page);
    EXPECT_GT(page.table()->width(), tableBefore.width());
    EXPECT_GT(page.table()->height(), tableBefore.height());
    EXPECT_GT(page.videoArea()->width(), videoBefore.width());
    EXPECT_GT(page.thumbnailStrip()->height(), stripBefore.height());
    // The video keeps 16:9 or is lower, never stretched upwards.
    EXPECT_LE(page.videoArea()->height(), page.videoArea()->width() * 9 / 16 + 1);

    page.resize(page.minimumSize());
    EXPECT_LT(page.width(), 888);
    expectTiled(page);
    EXPECT_GE(page.table()->height(), 90);
}

// At a larger font no heading, button or line is cut: each gets at least the width it asks for.
TEST(Page2Look, TextsAreNotCutAtLargerFonts)
{
    ShellFixture shell;
    Page2& page = shell.page();
    page.show();
    for (const int points : {9, 14, 18}) {
        QFont font = page.font();
        font.setPointSize(points);
        page.setFont(font);
        page.resize(page.minimumSize());
        QCoreApplication::processEvents();
        SCOPED_TRACE(points);
        for (QLabel* label : page.filters()->findChildren<QLabel*>())
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        for (int i = 0; i < 5; ++i)
            EXPECT_GE(page.filters()->timeButton(i)->width(), page.filters()->timeButton(i)->sizeHint().width()) << i;
        EXPECT_GE(page.filters()->height(), page.filters()->sizeHint().height());
        EXPECT_GE(page.statusLine()->height(), page.statusLine()->sizeHint().height());
        expectTiled(page);
    }
}

// The icon view shows each file's 16:9 thumbnail at 16:9, not squeezed into a square.
TEST(Page2Look, IconViewKeepsTheThumbnailsShape)
{
    ShellFixture shell;
    shell.settle();
    const QString path = shell.addRow(QStringLiteral("Wide"), QStringLiteral("1700000001"));
    QImage wide(160, 90, QImage::Format_RGB32);
    wide.fill(QColor(0x20, 0x80, 0xc0));
    ASSERT_TRUE(QDir().mkpath(AppPaths::folder(AppPaths::Folder::Thumbnails)));
    ASSERT_TRUE(wide.save(AppPaths::folder(AppPaths::Folder::Thumbnails) + QStringLiteral("1700000001.jpg")));
    shell.page().dispatch(ShellCommand::View);
    shell.page().show();
    QCoreApplication::processEvents();
    MediaIconView* icons = shell.page().icons();
    EXPECT_EQ(icons->iconSize(), MediaIconView::ThumbnailSize);

    // The picture's coloured area in the view is as wide as 16:9 makes it. Thumbnails are read
    // as the view needs them, so the first paints may still lack it.
    const auto paintedArea = [&] {
        const QImage shot = grabOf(icons->viewport());
        const QRect item = icons->visualRect(shell.model().index(0, 0));
        QRect area;
        for (int y = item.top(); y <= item.bottom(); ++y) {
            for (int x = item.left(); x <= item.right(); ++x) {
                const QColor c(shot.pixel(x, y));
                if (std::abs(c.red() - 0x20) < 24 && std::abs(c.green() - 0x80) < 24 && std::abs(c.blue() - 0xc0) < 24)
                    area = area.united(QRect(x, y, 1, 1));
            }
        }
        return area;
    };
    QRect painted;
    (void)QTest::qWaitFor([&] { return !(painted = paintedArea()).isEmpty(); }, 10000);
    ASSERT_FALSE(painted.isEmpty()) << "the thumbnail is not drawn";
    EXPECT_NEAR(double(painted.width()) / painted.height(), 16.0 / 9.0, 0.15);
    EXPECT_GE(painted.width(), 80);
    Q_UNUSED(path);
}

TEST(Page2Look, ScreenshotsInEveryPaletteAt1xAnd2x)
{
    const QString folder = QStringLiteral(TRAWLIX_BINARY_DIR "/test-artifacts/screens");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const NamedPalette& named : palettes()) {
        const ScopedPalette scoped(named.palette);
        ShellFixture shell;
        fillLibrary(shell);
        shell.page().show();
        shell.page().resize(888, 696);
        QCoreApplication::processEvents();
        for (const int scale : {1, 2}) {
            QImage shot(shell.page().size() * scale, QImage::Format_RGB32);
            shot.setDevicePixelRatio(scale);
            shot.fill(Qt::magenta);
            shell.page().render(&shot);
            const QString file =
                folder + QStringLiteral("/main-%1-%2x.png").arg(QString::fromLatin1(named.name)).arg(scale);
            ASSERT_TRUE(shot.save(file)) << file.toStdString();
            EXPECT_EQ(QImage(file).size(), QSize(888, 696) * scale);
        }
    }
}

} // namespace
