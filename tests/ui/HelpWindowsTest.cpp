// The manual the help button shows, the About window and the start notice, as a user meets them.
#include "ToolWindows.h"

#include "ShellFixture.h"
#include "base/AppPaths.h"
#include "support/DesktopFolderHandler.h"
#include "ui/tools/AboutWindow.h"
#include "ui/tools/ManualWindow.h"
#include "ui/tools/SavedNotice.h"
#include "ui/tools/StartNotice.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

QString sourceFile(const char* path)
{
    QFile file(QStringLiteral(TRAWLIX_SOURCE_DIR "/") + QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(HelpWindows, TheManualIsTheLocalCopyAndOpensNothingElse)
{
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::Browser); // xdg-open is the stub
    ASSERT_TRUE(desktop.valid());
    ShellFixture shell;
    // The build tree holds the manual where the package installs it beside the program.
    const QString path = ManualWindow::manualPath();
    ASSERT_FALSE(path.isEmpty()) << ManualWindow::candidates().join(u' ').toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/share/doc/trawlix/manual.html")));
    ManualWindow* manual = ManualWindow::open(&shell.page());
    EXPECT_EQ(ManualWindow::open(&shell.page()), manual) << "one manual window";
    const QString text = manual->browser()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("A first catch"))) << text.left(200).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("sonotrap-register --install")));
    EXPECT_FALSE(text.contains(QStringLiteral("http"))) << "the manual names no web address";

    QTest::mouseClick(manual->aboutButton(), Qt::LeftButton);
    auto* about = manual->findChild<AboutWindow*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    QTest::qWait(200);
    EXPECT_EQ(desktop.xdgOpenLog(), QString()) << "no browser, no web page";
    manual->close();
}

TEST(HelpWindows, AboutNamesVersionLicenceAndDataFolder)
{
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::FileManager);
    ASSERT_TRUE(desktop.valid());
    ShellFixture shell;
    AboutWindow about(&shell.page());
    about.dataFolder()->reveal = [](const QString&) {};
    const QRegularExpressionMatch project =
        QRegularExpression(QStringLiteral("project\\(Trawlix VERSION ([0-9.]+)")).match(sourceFile("CMakeLists.txt"));
    ASSERT_TRUE(project.hasMatch());
    EXPECT_EQ(about.versionLabel()->text(), QStringLiteral("Trawlix ") + project.captured(1));
    ASSERT_TRUE(sourceFile("packaging/copyright").contains(QStringLiteral("License: GPL-3.0-or-later")));
    EXPECT_TRUE(
        about.licenceLabel()->text().contains(QStringLiteral("GNU General Public License, version 3 or later")));
    EXPECT_EQ(about.dataFolder()->label()->text(),
              QStringLiteral("Data folder: ") + QDir::cleanPath(AppPaths::dataDir()));
    about.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return about.dataFolder()->handlerKnown(); }, 10000));
    EXPECT_TRUE(about.dataFolder()->openButton()->isVisible());
}

TEST(HelpWindows, TheSetcapCommandStaysOnOneLineWithItsWholePath)
{
    ShellFixture shell;
    for (const qreal pointSize : {9.0, 14.0}) {
        QFont font = QApplication::font();
        font.setPointSizeF(pointSize);
        const QFont old = QApplication::font();
        QApplication::setFont(font);
        StartNotice* notice = StartNotice::showNotices(&shell.page(), ToolWindows::startNotices());
        ASSERT_NE(notice, nullptr);
        const QList<QLineEdit*> commands = notice->commandFields();
        ASSERT_EQ(commands.size(), 1);
        const QString expected =
            QStringLiteral("sudo setcap cap_net_raw,cap_net_admin+ep ") + ToolWindows::longHelperPath();
        EXPECT_EQ(commands.first()->text(), expected);
        // Wide enough to show the whole line, or as wide as the screen allows (the field then
        // scrolls, and copying takes the whole line either way).
        const int screenWidth = notice->screen()->availableGeometry().width();
        EXPECT_TRUE(commands.first()->width() >= commands.first()->fontMetrics().horizontalAdvance(expected) ||
                    notice->width() >= screenWidth - 80)
            << "at " << pointSize << " pt: " << commands.first()->width() << " px of " << screenWidth;
        // The dialog is as tall as its wrapped texts: no label is stretched past its lines.
        ASSERT_TRUE(QTest::qWaitForWindowExposed(notice));
        for (const QLabel* label : notice->findChildren<QLabel*>()) {
            EXPECT_FALSE(label->text().contains(QStringLiteral("trawlix-capture"))) << label->text().toStdString();
            EXPECT_LE(label->height(), label->heightForWidth(label->width()) + 2) << label->text().toStdString();
        }
        notice->close();
        QApplication::setFont(old);
    }
    EXPECT_EQ(StartNotice::showNotices(&shell.page(), {}), nullptr);
}

TEST(HelpWindows, TheHelpButtonAndTheStartReachTheseWindows)
{
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::Browser); // xdg-open is the stub
    ASSERT_TRUE(desktop.valid());
    ShellFixture shell;
    shell.page().dispatch(ShellCommand::Support);
    auto* manual = shell.page().findChild<ManualWindow*>();
    ASSERT_NE(manual, nullptr) << "the help button opens the local manual";
    EXPECT_TRUE(manual->isVisible());
    QTest::qWait(200);
    EXPECT_EQ(desktop.xdgOpenLog(), QString()) << "and no web address";
    manual->close();

    shell.page().showStartNotices(ToolWindows::startNotices());
    auto* notice = shell.page().findChild<StartNotice*>();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->commandFields().size(), 1);
    notice->close();
}

} // namespace
