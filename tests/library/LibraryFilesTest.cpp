#include "LibraryFixture.h"

#include "base/AppPaths.h"
#include "engine/Engine.h"
#include "library/ExportCopies.h"
#include "library/FileCopy.h"
#include "library/LibraryScan.h"
#include "library/RegularFile.h"
#include "support/ChildHelper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class LibraryFilesTest : public LibraryFixture
{
protected:
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static void makeFifo(const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); }
    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }
};

// Opens the writing end of each FIFO once the time is up, so that a reader stuck on one ends
// (and its test fails) instead of hanging the run.
class FifoWatchdog final
{
public:
    FifoWatchdog(QStringList fifos, int seconds)
        : m_thread([this, fifos, seconds] {
            for (int tenth = 0; tenth < seconds * 10 && !m_done; ++tenth)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            while (!m_done) {
                for (const QString& fifo : fifos) {
                    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        m_fired = true;
                        ::close(fd);
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        })
    {}
    ~FifoWatchdog()
    {
        m_done = true;
        m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

TEST_F(LibraryFilesTest, OnlyRegularFilesAreOpened)
{
    const QString regular = dir() + QStringLiteral("file.mp3");
    writeFile(regular, "bytes");
    const QString link = dir() + QStringLiteral("link.mp3");
    ASSERT_TRUE(QFile::link(regular, link));
    const QString fifo = dir() + QStringLiteral("fifo.mp3");
    makeFifo(fifo);
    const FifoWatchdog watchdog({fifo}, 10);

    EXPECT_TRUE(RegularFile::isRegular(regular));
    EXPECT_FALSE(RegularFile::isRegular(link)) << "a link is no regular file itself";
    EXPECT_FALSE(RegularFile::isRegular(fifo));
    EXPECT_FALSE(RegularFile::isRegular(dir()));
    EXPECT_FALSE(RegularFile::isRegular(dir() + QStringLiteral("missing")));

    QFile file;
    ASSERT_TRUE(RegularFile::open(file, link, QIODevice::ReadOnly)) << "opened through a link to a regular file";
    EXPECT_EQ(file.readAll(), QByteArray("bytes"));
    file.close();
    EXPECT_FALSE(RegularFile::open(file, fifo, QIODevice::ReadOnly));
    EXPECT_FALSE(RegularFile::open(file, QStringLiteral("/dev/zero"), QIODevice::ReadOnly));
    ASSERT_TRUE(RegularFile::open(file, regular, QIODevice::WriteOnly | QIODevice::Append));
    file.write("+");
    file.close();
    EXPECT_FALSE(FileCopy::copy(fifo, dir() + QStringLiteral("copy")));
    EXPECT_FALSE(FileCopy::copy(QStringLiteral("/dev/zero"), dir() + QStringLiteral("copy")));
    EXPECT_TRUE(FileCopy::copy(regular, dir() + QStringLiteral("copy")));
    EXPECT_EQ(FileCopy::appendFrom(fifo, 0, 10, dir() + QStringLiteral("copy")), -1);
    EXPECT_FALSE(watchdog.fired()) << "something waited on the FIFO";
}

// A FIFO or a link among the library files is passed over; the
// real files are listed, and no tool is ever started on the others.
TEST_F(LibraryFilesTest, TheScanListsRegularFilesOnly)
{
    makeVideo(videos() + QStringLiteral("1700000000.mp4"), 160, 90, 1);
    const QString fifo = videos() + QStringLiteral("1700000001.mp4");
    makeFifo(fifo);
    ASSERT_TRUE(QFile::link(videos() + QStringLiteral("1700000000.mp4"), videos() + QStringLiteral("1700000002.mp4")));
    const FifoWatchdog watchdog({fifo}, 20);

    const LibraryScan::Result result = LibraryScan::run(*m_context, {QStringLiteral("all"), {}});
    EXPECT_FALSE(watchdog.fired()) << "the scan waited on the FIFO";
    EXPECT_EQ(result.listed, 1);
    ASSERT_EQ(m_table.rowCount(), 1);
    EXPECT_EQ(m_table.rowAt(0).path, videos() + QStringLiteral("1700000000.mp4"));
}

TEST_F(LibraryFilesTest, DragCopiesAreMadeWholeAndReplaced)
{
    const QString first = videos() + QStringLiteral("1.mp4");
    const QString second = videos() + QStringLiteral("2.mp4");
    writeFile(first, QByteArray(3 * FileCopy::BlockSize, '1'));
    writeFile(second, QByteArray(FileCopy::BlockSize, '2'));
    const QString folder = AppPaths::folder(AppPaths::Folder::TempExport);
    writeFile(folder + QStringLiteral("One.mp4"), "an earlier drag's copy");

    QList<int> seen;
    const QStringList copies = ExportCopies::make({{first, QStringLiteral("One.mp4")},
                                                   {second, QStringLiteral("../Two.mp4")},
                                                   {second, QStringLiteral("Two.mp4")}},
                                                  [&](int percent) { seen << percent; });
    EXPECT_EQ(copies, (QStringList{folder + QStringLiteral("One.mp4"), folder + QStringLiteral("Two.mp4")}));
    EXPECT_EQ(QFileInfo(copies.at(0)).size(), 3 * FileCopy::BlockSize);
    EXPECT_EQ(QFileInfo(copies.at(1)).size(), FileCopy::BlockSize);
    EXPECT_FALSE(QFileInfo::exists(dir() + QStringLiteral("Two.mp4"))) << "a name never leaves the folder";
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_TRUE(std::is_sorted(seen.cbegin(), seen.cend()));
    EXPECT_EQ(seen.last(), 100);

    const std::atomic<bool> stop{true};
    EXPECT_TRUE(ExportCopies::make({{first, QStringLiteral("Three.mp4")}}, {}, &stop).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Three.mp4")));
}

// The user's export to a folder of their own: through the engine's job pool, with the caption
// showing the progress, and never over a file that is there.
TEST_F(LibraryFilesTest, ExportedCopiesTakeAFreeNameAndReplaceNothing)
{
    const QString first = videos() + QStringLiteral("1.mp4");
    const QString second = videos() + QStringLiteral("2.mp4");
    writeFile(first, QByteArray(3 * FileCopy::BlockSize, '1'));
    writeFile(second, QByteArray(FileCopy::BlockSize, '2'));
    const QString folder = dir() + QStringLiteral("Chosen/");
    ASSERT_TRUE(QDir().mkpath(folder));
    writeFile(folder + QStringLiteral("One.mp4"), "the user's own file");

    Engine engine;
    QStringList captions;
    QObject::connect(&engine, &Engine::libraryCaptionChanged, [&](const QString& caption) { captions << caption; });
    QSignalSpy restored(&engine, &Engine::libraryCaptionRestored);
    QSignalSpy finished(&engine, &Engine::exportFinished);
    engine.exportFiles({{first, QStringLiteral("One.mp4")},
                        {second, QStringLiteral("../Two.mp4")},
                        {second, QStringLiteral("One.mp4")}},
                       folder.chopped(1)); // the folder's "/" is optional
    ASSERT_TRUE(processUntil([&] { return finished.size() == 1; }, 30));
    EXPECT_EQ(finished.at(0).at(0).toStringList(),
              (QStringList{folder + QStringLiteral("One (2).mp4"), folder + QStringLiteral("One (3).mp4")}));
    EXPECT_EQ(entries(folder),
              (QStringList{QStringLiteral("One (2).mp4"), QStringLiteral("One (3).mp4"), QStringLiteral("One.mp4")}))
        << "no scratch file stays, and no name leaves the folder";
    QFile own(folder + QStringLiteral("One.mp4"));
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(own.readAll(), QByteArrayLiteral("the user's own file"));
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("One (2).mp4")).size(), 3 * FileCopy::BlockSize);
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("One (3).mp4")).size(), FileCopy::BlockSize);
    ASSERT_FALSE(captions.isEmpty());
    EXPECT_EQ(captions.last(), QStringLiteral("100%..Processing "));
    EXPECT_TRUE(processUntil([&] { return restored.size() >= 1; }, 5));

    // A stopped export leaves nothing behind, not even its scratch file.
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(ExportCopies::copyInto({{first, QStringLiteral("Three.mp4")}}, folder, {}, &stop).isEmpty());
    EXPECT_EQ(entries(folder).size(), 3);
}

// At start and after a drag, the copies go unless a process (the drop target) still reads
// them; a link goes as a link, and a folder stays.
TEST_F(LibraryFilesTest, CleaningSparesWhatIsStillRead)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempExport);
    const QString outside = dir() + QStringLiteral("keep.mp4");
    writeFile(outside, "not ours");
    writeFile(folder + QStringLiteral("held.mp4"), "read by a drop target");
    writeFile(folder + QStringLiteral("done.mp4"), "taken");
    writeFile(folder + QStringLiteral(".hidden"), "taken");
    ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("link.mp4")));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("sub")));
    makeFifo(folder + QStringLiteral("fifo"));

    QProcess holder;
    holder.start(ChildHelper::path(), {QStringLiteral("hold:") + folder + QStringLiteral("held.mp4")});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readAll(), QByteArrayLiteral("holding\n"));

    EXPECT_EQ(ExportCopies::clean(), 2);
    EXPECT_EQ(entries(folder), (QStringList{QStringLiteral("held.mp4"), QStringLiteral("sub")}));
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_EQ(ExportCopies::removeUnlessOpen({folder + QStringLiteral("held.mp4")}),
              QStringList{folder + QStringLiteral("held.mp4")});

    holder.kill();
    holder.waitForFinished(10000);
    EXPECT_TRUE(ExportCopies::removeUnlessOpen({folder + QStringLiteral("held.mp4")}).isEmpty());
    EXPECT_EQ(entries(folder), QStringList{QStringLiteral("sub")});
}

} // namespace
