// The words of the tool windows as a user reads them: no misspelt or cryptic texts, no
// Cyrillic letter hiding in an English caption, and the Russian pair of every mended text.
#include "ToolWindows.h"

#include "ShellFixture.h"
#include "base/Texts.h"
#include "tools/ConvertJob.h"
#include "ui/tools/Page7.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QStringList textsOf(QWidget* window)
{
    QStringList texts{window->windowTitle()};
    for (const QLabel* label : window->findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
        texts << button->text();
    for (const QGroupBox* group : window->findChildren<QGroupBox*>())
        texts << group->title();
    for (const QTreeWidget* tree : window->findChildren<QTreeWidget*>())
        texts << tree->headerItem()->text(0);
    return texts;
}

TEST(ToolTexts, EnglishCaptionsAreSpeltOutAndLatinOnly)
{
    QTemporaryDir scratch;
    ShellFixture shell;
    const char* const wrong[] = {"convertation", "indeces", "20-x", "DblClick", "..Converting", " Mb"};
    for (const ToolWindows::Window& entry : ToolWindows::windows()) {
        const std::unique_ptr<QWidget> window = entry.open(shell, scratch.path());
        if (auto* downloader = qobject_cast<Page7*>(window.get())) // the playlist part shows for playlists
            downloader->addressField()->setText(QStringLiteral("https://www.youtube.com/playlist?list=PL0"));
        for (const QString& text : textsOf(window.get())) {
            for (const char* bad : wrong)
                EXPECT_FALSE(text.contains(QLatin1String(bad))) << entry.name << ": " << text.toStdString();
            for (const QChar c : text)
                EXPECT_FALSE(c.script() == QChar::Script_Cyrillic) << entry.name << ": " << text.toStdString();
        }
    }
    EXPECT_EQ(tx(u"Play\tDblClick"), QStringLiteral("Play\tDouble-click"));
    EXPECT_EQ(ConvertJob::caption(26, QStringLiteral("clip.mp4")), QStringLiteral("Converting clip.mp4: 26%"));
    EXPECT_TRUE(tx(u"If your computer has a CD or DVD burner, you can Drag and Drop any downloaded/recorded files "
                   u"from Trawlix to a disc folder for burning.")
                    .contains(QStringLiteral("Brasero")))
        << "disc burning names what to use";
}

TEST(ToolTexts, MendedTextsKeepTheirRussianPair)
{
    const char16_t* const roles[] = {
        u"Play\tDblClick",
        u"Open the output folder at the end of convertation process",
        u"Сonversion parameters",
        u"Converting ",
        u"Saved to ",
        u"Open folder",
        u"Show every device",
    };
    Texts::init(QStringLiteral("RU"));
    for (const char16_t* role : roles) {
        const QString russian = tx(role);
        EXPECT_NE(russian, QString::fromUtf16(role));
        bool cyrillic = false;
        for (const QChar c : russian)
            cyrillic = cyrillic || c.script() == QChar::Script_Cyrillic;
        EXPECT_TRUE(cyrillic) << russian.toStdString();
    }
    EXPECT_TRUE(ConvertJob::caption(5, QStringLiteral("a.mp4")).startsWith(QStringLiteral("Конвертирование a.mp4")));
    Texts::init(QStringLiteral("EN"));
}

} // namespace
