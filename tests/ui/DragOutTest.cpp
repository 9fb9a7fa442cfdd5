#include "ShellFixture.h"

#include "base/AppPaths.h"
#include "ui/mainwindow/MediaViews.h"

#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

constexpr qint64 kBigFile = 64 * 1024 * 1024;

QString makeBig(ShellFixture& shell, const QString& title, const QString& base)
{
    const QString path = shell.addRow(title, base);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(file.resize(kBigFile)); // sparse: quick to make, a real copy to read
    return path;
}

// A drag out copies the file into "TempExport/" first. That copy once ran on the interface
// thread (a large file froze the window) and stayed for good.
TEST(DragOut, CopiesAreMadeOffTheInterfaceThreadAndGoAfterTheDrag)
{
    ShellFixture shell;
    makeBig(shell, QStringLiteral("Big clip"), QStringLiteral("1700000001"));
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
    LibraryActions& actions = shell.page().libraryActions();
    actions.dragCopiesGraceMs = 50;
    const QString copy = AppPaths::folder(AppPaths::Folder::TempExport) + QStringLiteral("Big clip.mp4");
    QList<QUrl> dragged;
    qint64 sizeAtDrag = -1;
    QThread* dragThread = nullptr;
    int drags = 0;
    actions.runDrag = [&](QMimeData* mime) {
        ++drags;
        dragged = mime->urls();
        sizeAtDrag = QFileInfo(copy).size();
        dragThread = QThread::currentThread();
        delete mime;
    };

    actions.startDragOut();
    // Back at once: the copy runs on a worker, the cursor says the window is busy.
    EXPECT_TRUE(actions.exportRunning());
    EXPECT_EQ(drags, 0);
    EXPECT_LT(QFileInfo(copy).size(), kBigFile) << "the copy was made on the interface thread";
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    actions.startDragOut(); // a second drag while the first one's copy runs starts nothing

    QTRY_VERIFY_WITH_TIMEOUT(drags > 0, 60000);
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(dragged, QList<QUrl>{QUrl::fromLocalFile(copy)});
    EXPECT_EQ(sizeAtDrag, kBigFile) << "the drag starts once the copy is whole";
    EXPECT_EQ(dragThread, QCoreApplication::instance()->thread());
    EXPECT_FALSE(actions.exportRunning());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(shell.page().windowTitle(), QStringLiteral("Trawlix"));
    // Nobody reads the copy after the drag: it goes.
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(copy), 10000);
}

// Closing the window while a drag's copy runs stops the copy and leaves nothing behind.
TEST(DragOut, ClosingTheWindowDuringTheCopyStopsIt)
{
    ShellFixture shell;
    makeBig(shell, QStringLiteral("Big clip"), QStringLiteral("1700000001"));
    shell.page().table()->setCurrentIndex(shell.model().index(0, 0));
    int drags = 0;
    shell.page().libraryActions().runDrag = [&](QMimeData* mime) {
        ++drags;
        delete mime;
    };
    shell.page().libraryActions().startDragOut();
    shell.destroyPage();
    QCoreApplication::processEvents();
    EXPECT_EQ(drags, 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    const QString copy = AppPaths::folder(AppPaths::Folder::TempExport) + QStringLiteral("Big clip.mp4");
    EXPECT_FALSE(QFileInfo::exists(copy)) << "a stopped copy is removed";
}

} // namespace
