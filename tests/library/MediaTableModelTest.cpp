#include "library/MediaTableModel.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

namespace {

MediaRow row(const QString& title, qint64 bytes, const QString& duration, qint64 seconds)
{
    MediaRow r;
    r.title = title;
    r.sizeBytes = bytes;
    r.size = QString::number(bytes);
    r.duration = duration;
    r.captureSeconds = seconds;
    r.format = QStringLiteral("MP4");
    r.path = QStringLiteral("/lib/") + title;
    return r;
}

class MediaTableModelTest : public ::testing::Test
{
protected:
    MediaTableModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(MediaTableModelTest, InsertsAtTopAndShowsEightColumns)
{
    model.insertTop(row(QStringLiteral("old"), 1, QStringLiteral("00:00:01"), 10));
    model.insertTop(row(QStringLiteral("new"), 2, QStringLiteral("00:00:02"), 20));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 8);
    EXPECT_EQ(model.index(0, MediaTableModel::TitleColumn).data().toString(), QStringLiteral("new"));
    EXPECT_EQ(model.index(1, MediaTableModel::PathColumn).data().toString(), QStringLiteral("/lib/old"));
    EXPECT_EQ(model.index(0, MediaTableModel::EmptyColumn).data().toString(), QString());
    EXPECT_EQ(model.headerData(MediaTableModel::CaptureTimeColumn, Qt::Horizontal).toString(),
              QStringLiteral("Capture Time"));
}

TEST_F(MediaTableModelTest, CheckStateLivesInTheTitleColumn)
{
    model.insertTop(row(QStringLiteral("a"), 1, {}, 0));
    model.insertTop(row(QStringLiteral("b"), 1, {}, 0));
    const QModelIndex title = model.index(1, MediaTableModel::TitleColumn);
    EXPECT_TRUE(model.flags(title) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(1, MediaTableModel::SizeColumn)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model.setData(title, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.checkedPaths(), QStringList{QStringLiteral("/lib/a")});
    model.setAllChecked(true);
    EXPECT_EQ(model.checkedPaths().size(), 2);
}

TEST_F(MediaTableModelTest, SortsByValueNotByText)
{
    model.insertTop(row(QStringLiteral("beta"), 900, QStringLiteral("00:10:00"), 300));
    model.insertTop(row(QStringLiteral("Alpha"), 10000, QStringLiteral("n/a"), 100));
    model.insertTop(row(QStringLiteral("gamma"), 2000, QStringLiteral("01:00:00"), 200));
    const QPersistentModelIndex kept = model.index(0, 0); // gamma
    struct Expect
    {
        int column;
        Qt::SortOrder order;
        QList<const char*> titles;
    };
    const QList<Expect> cases = {
        {MediaTableModel::SizeColumn, Qt::AscendingOrder, {"beta", "gamma", "Alpha"}},
        {MediaTableModel::DurationColumn, Qt::DescendingOrder, {"gamma", "beta", "Alpha"}},
        {MediaTableModel::CaptureTimeColumn, Qt::AscendingOrder, {"Alpha", "gamma", "beta"}},
        {MediaTableModel::TitleColumn, Qt::AscendingOrder, {"Alpha", "beta", "gamma"}},
    };
    for (const Expect& c : cases) {
        model.sort(c.column, c.order);
        QStringList titles;
        QStringList expected;
        for (int r = 0; r < model.rowCount(); ++r)
            titles << model.index(r, 0).data().toString();
        for (const char* title : c.titles)
            expected << QString::fromLatin1(title);
        EXPECT_EQ(titles, expected) << "column " << c.column;
        EXPECT_EQ(kept.data().toString(), QStringLiteral("gamma"));
    }
}

TEST_F(MediaTableModelTest, ImagesFallBackToPlaceholders)
{
    MediaRow r = row(QStringLiteral("x"), 1, {}, 0);
    r.imageIndex = model.reserveImageIndex();
    model.insertTop(r);
    QImage large = model.index(0, 0).data(MediaTableModel::LargeImageRole).value<QImage>();
    EXPECT_EQ(large.size(), QSize(32, 32));
    EXPECT_EQ(large, MediaTableModel::placeholderLarge());
    EXPECT_EQ(model.index(0, 0).data(Qt::DecorationRole).value<QImage>().size(), QSize(16, 16));

    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    QImage blue(16, 16, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setImages(r.imageIndex, red, blue);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.index(0, 0).data(MediaTableModel::LargeImageRole).value<QImage>(), red);
    EXPECT_EQ(model.index(0, 0).data(Qt::DecorationRole).value<QImage>(), blue);
    EXPECT_NE(MediaTableModel::placeholderSmall().size(), MediaTableModel::placeholderLarge().size());
}

TEST_F(MediaTableModelTest, RowsFoundByPathAreUpdatedAndRemoved)
{
    model.insertTop(row(QStringLiteral("song"), 1, QStringLiteral("00:00:01"), 0));
    EXPECT_TRUE(model.updateGrowth(QStringLiteral("/lib/song"), 3 * 1048576 + 104858, QStringLiteral("00:03:07.52")));
    EXPECT_EQ(model.rowAt(0).size, QStringLiteral("3.1 MB"));
    EXPECT_EQ(model.rowAt(0).duration, QStringLiteral("00:03:07"));
    EXPECT_TRUE(model.setTitleOfPath(QStringLiteral("/lib/song"), QStringLiteral("renamed")));
    EXPECT_FALSE(model.removePath(QStringLiteral("/lib/none")));
    EXPECT_TRUE(model.removePath(QStringLiteral("/lib/song")));
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(MediaTableModelTest, WorkersPostChangesInOrder)
{
    QThread worker;
    worker.start();
    QObject context;
    context.moveToThread(&worker);
    QMetaObject::invokeMethod(&context, [this] {
        model.post([](MediaTableModel& m) { m.clear(); });
        for (int i = 0; i < 50; ++i)
            model.post([i](MediaTableModel& m) { m.insertTop(row(QString::number(i), i, {}, i)); });
    });
    for (int spins = 0; spins < 500 && model.rowCount() < 50; ++spins) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    worker.quit();
    worker.wait();
    ASSERT_EQ(model.rowCount(), 50);
    EXPECT_EQ(model.rowAt(0).title, QStringLiteral("49"));
    EXPECT_EQ(model.rowAt(49).title, QStringLiteral("0"));
}

} // namespace
