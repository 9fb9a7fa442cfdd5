// The library as `trawlix --headless --list` shows it, on the built program: what an earlier run
// left behind is taken in or kept, and nothing in "Videos/" can hold the listing up.
#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Listing
{
    bool finished = false;
    qint64 elapsedMs = 0;
    int exitCode = -1;
    QStringList titles; // the first column of each line, sorted
    QString err;
};

class HeadlessLibrary : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!BuiltProgram::built())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is needed to make the media");
        for (const char* folder : {"Videos", "TempDownloads", "TempExport"})
            ASSERT_TRUE(QDir().mkpath(data(QLatin1String(folder))));
    }

    QString data(const QString& relative) const { return m_trawlix.data(relative); }

    // A stuck run is ended after timeoutMs, so a failure never hangs the test run.
    Listing list(int timeoutMs = 60000)
    {
        const BuiltProgram::Run run = m_trawlix.run({QStringLiteral("--list")}, timeoutMs);
        Listing listing;
        listing.finished = run.finished;
        listing.elapsedMs = run.elapsedMs;
        listing.exitCode = run.exitCode;
        for (const QString& line : QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            listing.titles << line.section(QLatin1Char('\t'), 0, 0);
        listing.titles.sort();
        listing.err = QString::fromUtf8(run.err);
        return listing;
    }

    QByteArray bytesOf(const QString& relative) const
    {
        QFile file(data(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir m_dir;
    BuiltProgram m_trawlix{m_dir.path()};
};

// A FIFO in "Videos/" once kept the listing waiting for ever (ffmpeg opened it for a picture).
TEST_F(HeadlessLibrary, AFifoInTheLibraryDoesNotHoldTheListingUp)
{
    ASSERT_TRUE(MediaFixture::makeClip(data(QStringLiteral("Videos/1700000000.mp4")), 1));
    const QByteArray fifo = QFile::encodeName(data(QStringLiteral("Videos/1700000001.mp4")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);

    const Listing listing = list(30000);
    if (!listing.finished) {
        // Let the stuck reader go before failing.
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    ASSERT_TRUE(listing.finished) << "the listing did not end";
    EXPECT_EQ(listing.exitCode, 0) << listing.err.toStdString();
    EXPECT_LT(listing.elapsedMs, 20000);
    EXPECT_EQ(listing.titles, QStringList{QStringLiteral("Unnamed media file")});
    EXPECT_TRUE(QFileInfo::exists(data(QStringLiteral("Videos/1700000001.mp4")))) << "the FIFO is not ours to remove";
}

// Downloads an earlier run finished: a song and a silent clip enter the library at start; a file
// without media streams stays where it is, at this start and the next. The drag copies of the
// earlier run go.
TEST_F(HeadlessLibrary, DownloadsWithOneKindOfStreamAreTakenInAndNoneIsLost)
{
    ASSERT_TRUE(MediaFixture::make(data(QStringLiteral("TempDownloads/A song~j1.m4a")),
                                   {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                    QStringLiteral("sine=frequency=440:duration=1")}));
    ASSERT_TRUE(MediaFixture::make(data(QStringLiteral("TempDownloads/A silent clip~j2.mp4")),
                                   {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                    QStringLiteral("testsrc=size=160x90:rate=10:duration=1"),
                                    QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")}));
    {
        QFile broken(data(QStringLiteral("TempDownloads/Not media~j3.mp4")));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("<html>429 Too Many Requests</html>");
        QFile copy(data(QStringLiteral("TempExport/Dragged earlier.mp4")));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write("a drag copy of the last run");
    }

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "first start" : "second start");
        const Listing listing = list();
        ASSERT_TRUE(listing.finished);
        EXPECT_EQ(listing.exitCode, 0) << listing.err.toStdString();
        EXPECT_EQ(listing.titles, (QStringList{QStringLiteral("A silent clip"), QStringLiteral("A song")}));
        EXPECT_EQ(QDir(data(QStringLiteral("TempDownloads"))).entryList(QDir::Files),
                  QStringList{QStringLiteral("Not media~j3.mp4")});
        EXPECT_EQ(bytesOf(QStringLiteral("TempDownloads/Not media~j3.mp4")),
                  QByteArray("<html>429 Too Many Requests</html>"));
        EXPECT_TRUE(QDir(data(QStringLiteral("TempExport"))).isEmpty());
    }
}

} // namespace
