// Files into a FIFO for a reader that behaves, one that goes away in the middle and one that
// never comes: the bytes arrive whole and in order, and a feed never outlives its reader nor
// takes the program down with SIGPIPE.
#include "download/StreamFeed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class StreamFeedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_fifo = m_dir.filePath(QStringLiteral("input.fifo"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_fifo).constData(), 0600), 0);
    }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    static QByteArray pattern(qsizetype size, char seed)
    {
        QByteArray bytes(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            bytes[i] = char(seed + i * 31 % 251);
        return bytes;
    }

    // Opens the FIFO's read end as a tool would, and reads up to `most` bytes (all when -1).
    QByteArray read(qint64 most) const
    {
        const int fd = ::open(QFile::encodeName(m_fifo).constData(), O_RDONLY | O_CLOEXEC);
        QByteArray got;
        char buffer[65536];
        while (fd >= 0 && (most < 0 || got.size() < most)) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
        }
        if (fd >= 0)
            ::close(fd);
        return got;
    }

    QTemporaryDir m_dir;
    QString m_fifo;
};

const StreamFeed::Wait kThere = [](const QString&) { return true; };
const StreamFeed::Cancelled kNever = [] { return false; };

// Files larger than the FIFO holds, one empty among them: all of it, in order, and the end.
TEST_F(StreamFeedTest, FilesArriveWholeAndInOrder)
{
    const QByteArray a = pattern(3 * 1024 * 1024 + 17, 'a');
    const QByteArray c = pattern(70000, 'c');
    const QStringList files{write(QStringLiteral("a"), a), write(QStringLiteral("b"), {}),
                            write(QStringLiteral("c"), c)};
    QByteArray got;
    std::thread reader([&] { got = read(-1); });
    EXPECT_EQ(StreamFeed::feed(m_fifo, files, kThere, kNever), StreamFeed::Outcome::Fed);
    reader.join();
    EXPECT_EQ(got.size(), a.size() + c.size());
    EXPECT_TRUE(got == a + c);
}

// The reader closes after 100 KiB of a 4 MiB file: the feed says so, and this process, which
// got SIGPIPE's cause, is still here.
TEST_F(StreamFeedTest, AReaderGoneMidFileEndsTheFeedWithoutSigpipe)
{
    const QStringList files{write(QStringLiteral("big"), pattern(4 * 1024 * 1024, 'x'))};
    std::thread reader([&] { read(100 * 1024); });
    EXPECT_EQ(StreamFeed::feed(m_fifo, files, kThere, kNever), StreamFeed::Outcome::ReaderGone);
    reader.join();
}

// No reader ever: the feed waits only while it is not cancelled. A file that is not there
// fails the feed, a wait that gives up cancels it.
TEST_F(StreamFeedTest, NoReaderAndGivingUp)
{
    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancelled = true;
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(StreamFeed::feed(m_fifo, {write(QStringLiteral("a"), "a")}, kThere, [&] { return cancelled.load(); }),
              StreamFeed::Outcome::Cancelled);
    EXPECT_LT(timer.elapsed(), 5000);
    canceller.join();

    std::thread reader([&] { read(-1); });
    EXPECT_EQ(StreamFeed::feed(m_fifo, {m_dir.filePath(QStringLiteral("missing"))}, kThere, kNever),
              StreamFeed::Outcome::Failed);
    reader.join();

    std::thread second([&] { read(-1); });
    EXPECT_EQ(StreamFeed::feed(
                  m_fifo, {write(QStringLiteral("a"), "a")}, [](const QString&) { return false; }, kNever),
              StreamFeed::Outcome::Cancelled);
    second.join();

    // Not a FIFO (a regular file where one was expected): refused, not written into.
    const QString plain = write(QStringLiteral("plain"), "kept");
    EXPECT_EQ(StreamFeed::feed(plain, {write(QStringLiteral("a"), "a")}, kThere, kNever), StreamFeed::Outcome::Failed);
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("kept"));
}

} // namespace
