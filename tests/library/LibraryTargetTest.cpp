#include "LibraryFixture.h"

#include "base/AppPaths.h"
#include "library/FileImport.h"
#include "library/LibraryTarget.h"
#include "library/LinkDownloadImporter.h"
#include "library/RecordingsImporter.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class LibraryTargetTest : public LibraryFixture
{
protected:
    static QByteArray bytesOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }
    QString temp() const { return AppPaths::folder(AppPaths::Folder::Temp); }
    QString library() const { return AppPaths::folder(AppPaths::Folder::Videos); }
    QString recordings() const { return AppPaths::folder(AppPaths::Folder::TempRecords); }

    // Three passes take a finished recording from first sight to its import.
    void importRecordings()
    {
        for (int pass = 0; pass < 3; ++pass)
            RecordingsImporter::pass(*m_context, m_records);
        spin();
    }

    // An ffmpeg in the data folder (where tools are looked for first) that runs script for a
    // conversion of a recording and the real ffmpeg for everything else. $in is the input and
    // $out the output (the last argument).
    void fakeConversion(const QByteArray& script) const
    {
        QFile tool(dir() + QStringLiteral("ffmpeg"));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        tool.write("#!/bin/sh\nfor a; do [ \"$prev\" = -i ] && in=$a; prev=$a; out=$a; done\ncase $in in\n"
                   "*/TempRecords/*) " +
                   script + ";;\n*) exec \"" + QFile::encodeName(ffmpegPath()) + "\" \"$@\";;\nesac\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    TempRecordsFileArray m_records;
};

// The real ffmpeg on a full disk: the library file would be cut short (7.4 s of 9 s), so the
// recording must stay and nothing may reach the library.
TEST_F(LibraryTargetTest, AFullDiskLeavesTheRecordingAndNothingInTheLibrary)
{
    if (::geteuid() != 0)
        TRAWLIX_SKIP_UNLESS_CI("mounting a small tmpfs needs root");
    const QString disk = dir() + QStringLiteral("disk");
    ASSERT_TRUE(QDir().mkpath(disk));
    // 9 s of 44.1 kHz mono 16-bit sound is 794 KB: it fits once, not twice.
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=1200k") != 0)
        TRAWLIX_SKIP_UNLESS_CI("tmpfs cannot be mounted here: " << std::strerror(errno));
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(disk)};

    AppPaths::setDataDir(disk);
    for (const char* folder : {"Videos", "Temp", "TempRecords", "Screens", "32x32", "16x16", "160x90"})
        ASSERT_TRUE(QDir().mkpath(disk + QLatin1Char('/') + QLatin1String(folder)));
    const QString recording = recordings() + QStringLiteral("sound.wav");
    makeAudio(recording, 9);
    const QByteArray recorded = bytesOf(recording);
    ASSERT_GT(recorded.size(), 700000);

    importRecordings();
    EXPECT_EQ(bytesOf(recording), recorded) << "the recording stays as it was";
    EXPECT_TRUE(entries(library()).isEmpty()) << entries(library()).join(u' ').toStdString();
    EXPECT_TRUE(entries(temp()).isEmpty()) << "no scratch file or reservation is left";
    EXPECT_EQ(m_table.rowCount(), 0);
}

// The same faults behind the tool seam, one by one, and then a sound run that imports.
TEST_F(LibraryTargetTest, AFailedConversionNeverCostsTheRecording)
{
    const QString recording = recordings() + QStringLiteral("screen.wav");
    makeAudio(recording, 4);
    const QByteArray recorded = bytesOf(recording);
    struct Case
    {
        const char* what;
        QByteArray script;
    };
    const Case cases[] = {
        {"exit 1 after writing part of the file", "head -c 30000 \"$in\" > \"$out\"; exit 1"},
        {"exit 0 with the tail cut off", "head -c 200000 \"$in\" > \"$out\""},
        {"exit 0 and an empty output", ": > \"$out\""},
        {"killed by a signal", "kill -9 $$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fakeConversion(c.script);
        m_records.withLock([](QList<TempRecordsFile>& list) { list.clear(); });
        importRecordings();
        EXPECT_EQ(bytesOf(recording), recorded);
        EXPECT_TRUE(entries(library()).isEmpty()) << entries(library()).join(u' ').toStdString();
        EXPECT_TRUE(entries(temp()).isEmpty()) << entries(temp()).join(u' ').toStdString();
    }

    fakeConversion("exec \"" + QFile::encodeName(ffmpegPath()) + "\" \"$@\"");
    m_records.withLock([](QList<TempRecordsFile>& list) { list.clear(); });
    importRecordings();
    EXPECT_FALSE(QFileInfo::exists(recording)) << "imported, the recording goes";
    const QString placed = library() + QString::number(m_now) + QStringLiteral(".wav");
    ASSERT_EQ(entries(library()), QStringList{QFileInfo(placed).fileName()});
    EXPECT_NEAR(static_cast<double>(LibraryTarget::durationCentis(placed)), 400.0, 5.0);
    EXPECT_TRUE(entries(temp()).isEmpty());
}

// A recording, a link download and a file import finish in the same second, 20 times: every
// file reaches the library under a base of its own, and no source is lost.
TEST_F(LibraryTargetTest, ImportersRacingForOneSecondNeverLoseAFile)
{
    const QString clip = dir() + QStringLiteral("clip.mp4");
    makeVideo(clip, 160, 90, 1);
    const QString sound = dir() + QStringLiteral("sound.wav");
    makeAudio(sound, 1);
    const QByteArray clipBytes = bytesOf(clip);
    m_context->linkPage = [] { return QString(); };
    // Pictures of new files are other tests' business: here ffmpeg refuses them at once, which
    // keeps the rounds quick.
    {
        QFile tool(dir() + QStringLiteral("ffmpeg"));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly | QIODevice::Truncate));
        tool.write("#!/bin/sh\nfor a; do out=$a; done\ncase $out in\n*/160x90/*|*/Screens/*|*/32x32/*|*/16x16/*) "
                   "exit 1;;\nesac\nexec \"" +
                   QFile::encodeName(ffmpegPath()) + "\" \"$@\"\n");
    }
    const QString downloads = AppPaths::folder(AppPaths::Folder::TempDownloads);
    QSet<QString> bases;
    int expected = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        m_clock.setSeconds(m_now + 100 * round);
        const QString name = QStringLiteral("take%1.wav").arg(round);
        ASSERT_TRUE(QFile::copy(sound, recordings() + name));
        ASSERT_TRUE(QFile::copy(clip, downloads + QStringLiteral("Clip~r%1.mp4").arg(round)));
        // Seen and found complete; the third pass imports.
        RecordingsImporter::pass(*m_context, m_records);
        RecordingsImporter::pass(*m_context, m_records);

        std::thread recorder([&] { RecordingsImporter::pass(*m_context, m_records); });
        std::thread downloader([&] { LinkDownloadImporter::pass(*m_context); });
        std::thread importer([&] { FileImport::importChosen(*m_context, {clip}); });
        recorder.join();
        downloader.join();
        importer.join();
        expected += 3;

        EXPECT_FALSE(QFileInfo::exists(recordings() + name));
        EXPECT_TRUE(entries(downloads).isEmpty());
        const QStringList files = entries(library());
        ASSERT_EQ(files.size(), expected) << files.join(u' ').toStdString();
        for (const QString& file : files)
            bases.insert(QFileInfo(file).completeBaseName());
        ASSERT_EQ(bases.size(), expected) << "every file has a base of its own";
    }
    EXPECT_TRUE(entries(temp()).isEmpty());
    // Both copies of the clip are whole in every round.
    int whole = 0;
    for (const QString& file : entries(library()))
        whole += bytesOf(library() + file) == clipBytes ? 1 : 0;
    EXPECT_EQ(whole, 40);
}

// A reservation file is how another Trawlix process holds a base: it is respected, and each
// move takes a base no other file uses under any extension.
TEST_F(LibraryTargetTest, ReservedAndTakenBasesAreSkipped)
{
    auto staged = [&](const QByteArray& bytes) {
        const QString path = dir() + QStringLiteral("staged-") + QString::number(qHash(bytes));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    };
    const qint64 second = 1700000000;
    QFile reservation(LibraryTarget::reservationPath(second));
    ASSERT_TRUE(reservation.open(QIODevice::WriteOnly));
    reservation.close();
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(library() + QString::number(second + 1) + QStringLiteral(".wav")).constData(), 0600),
        0);

    EXPECT_EQ(LibraryTarget::moveIn(staged("a"), second, QStringLiteral(".mp4")),
              library() + QString::number(second + 2) + QStringLiteral(".mp4"));
    ASSERT_TRUE(reservation.remove());
    EXPECT_EQ(LibraryTarget::moveIn(staged("b"), second, QStringLiteral(".mp3")),
              library() + QString::number(second) + QStringLiteral(".mp3"));
    EXPECT_EQ(bytesOf(library() + QString::number(second) + QStringLiteral(".mp3")), QByteArray("b"));
    EXPECT_EQ(LibraryTarget::moveIn(staged("c"), second, QStringLiteral(".mp3")),
              library() + QString::number(second + 3) + QStringLiteral(".mp3"));
    EXPECT_TRUE(entries(temp()).isEmpty());

    // Threads moving files of other extensions in at one second never share a base.
    std::vector<std::thread> threads;
    QStringList placed[4];
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const QString file = dir() + QStringLiteral("t%1-%2").arg(t).arg(i);
                QFile out(file);
                if (out.open(QIODevice::WriteOnly))
                    out.write("x");
                out.close();
                placed[t] << LibraryTarget::moveIn(file, second + 100, QStringLiteral(".e%1").arg(t));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QSet<QString> bases;
    for (const QStringList& list : placed) {
        for (const QString& path : list) {
            EXPECT_FALSE(path.isEmpty());
            bases.insert(QFileInfo(path).completeBaseName());
        }
    }
    EXPECT_EQ(bases.size(), 40);
}

TEST_F(LibraryTargetTest, CopiesAreCheckedAndStagedBesideTheLibrary)
{
    const QString source = dir() + QStringLiteral("song.mp3");
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(300000, 's'));
    }
    const LibraryTarget::Placement copied = LibraryTarget::copyIn({source, m_now, QStringLiteral(".mp3"), false});
    ASSERT_TRUE(copied.placed()) << copied.why.toStdString();
    EXPECT_EQ(bytesOf(copied.path), bytesOf(source));
    EXPECT_TRUE(QFileInfo::exists(source)) << "a copy keeps its source";

    // Nothing to copy, a FIFO (which would never end) and a stage that fails: the source
    // stays, and neither the library nor "Temp/" keeps anything.
    const QString empty = dir() + QStringLiteral("empty.mp3");
    QFile(empty).open(QIODevice::WriteOnly);
    const QString fifo = dir() + QStringLiteral("fifo.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    using Outcome = LibraryTarget::Placement::Outcome;
    EXPECT_EQ(LibraryTarget::copyIn({empty, m_now, QStringLiteral(".mp3"), true}).outcome, Outcome::Empty);
    EXPECT_EQ(LibraryTarget::copyIn({fifo, m_now, QStringLiteral(".mp3"), true}).outcome, Outcome::StagingFailed);
    EXPECT_EQ(LibraryTarget::convertIn({fifo, m_now, QStringLiteral(".mp3"), true}, {}).outcome,
              Outcome::StagingFailed);
    QString stagedAt;
    const LibraryTarget::Placement refused =
        LibraryTarget::place({source, m_now, QStringLiteral(".mp3"), true}, [&](const QString& scratch) {
            stagedAt = scratch;
            return QStringLiteral("no");
        });
    EXPECT_EQ(refused.outcome, Outcome::StagingFailed);
    EXPECT_EQ(refused.why, QStringLiteral("no"));
    EXPECT_TRUE(stagedAt.startsWith(temp())) << stagedAt.toStdString();
    EXPECT_TRUE(QFileInfo::exists(empty));
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_EQ(entries(library()), QStringList{QFileInfo(copied.path).fileName()});
    EXPECT_TRUE(entries(temp()).isEmpty());
}

} // namespace
