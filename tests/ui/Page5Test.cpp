// The cutter window over the real libvlc player (dummy outputs) and real ffmpeg.
#include "ui/tools/Page5.h"
#include "ShellFixture.h"
#include "base/Texts.h"
#include "support/DesktopFolderHandler.h"
#include "support/MediaFixture.h"
#include "support/ScopedSettingsStore.h"
#include "support/SkipUnlessCi.h"
#include "ui/controls/SpanSlider.h"
#include "ui/player/Player.h"
#include "ui/tools/SavedNotice.h"

#include "tools/ToolRunner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The ffprobe processes this test process started and has not reaped, from /proc.
QList<pid_t> ffprobeChildren()
{
    QList<pid_t> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('(');
        const qsizetype close = text.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (text.mid(open + 1, close - open - 1) == "ffprobe" && fields.size() > 1 &&
            fields.at(1).toInt() == ::getpid())
            pids << pid;
    }
    return pids;
}

bool processGone(pid_t pid)
{
    return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// A media file that is still arriving: a FIFO holding the start of a real clip, its writer kept
// open, so ffprobe reads what there is and then waits for the rest as long as it is let run.
class ArrivingFile
{
public:
    ArrivingFile(const QString& path, const QByteArray& head)
        : m_path(path)
    {
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return;
        // Read and write: the open does not wait for a reader, and the FIFO never reports its end.
        m_writer = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_writer >= 0)
            (void)!::write(m_writer, head.constData(), static_cast<size_t>(qMin<qsizetype>(head.size(), 16384)));
    }
    ~ArrivingFile()
    {
        if (m_writer >= 0)
            ::close(m_writer);
        QFile::remove(m_path);
    }
    ArrivingFile(const ArrivingFile&) = delete;
    ArrivingFile& operator=(const ArrivingFile&) = delete;

    bool valid() const { return m_writer >= 0; }

private:
    QString m_path;
    int m_writer = -1;
};

class Page5Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Texts::init(QStringLiteral("EN"));
        if (!MediaFixture::ffmpegAvailable())
            TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
        // Ten seconds with a keyframe every two.
        m_media.path = QDir(m_store.dir()).filePath(QStringLiteral("1700000000.mp4"));
        ASSERT_TRUE(MediaFixture::make(
            m_media.path, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=160x120:rate=25:duration=10"), QStringLiteral("-f"),
                           QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=duration=10"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-g"),
                           QStringLiteral("50"), QStringLiteral("-keyint_min"), QStringLiteral("50")}));
        m_media.title = QStringLiteral("a/b:c");
        m_media.format = QStringLiteral("MP4");
        m_media.duration = QStringLiteral("00:00:10");
    }

    std::unique_ptr<Player> makePlayer()
    {
        auto player =
            std::make_unique<Player>(nullptr, QStringList{QStringLiteral("--vout=dummy"),
                                                          QStringLiteral("--aout=dummy"), QStringLiteral("--quiet")});
        return player;
    }

    ScopedSettingsStore m_store;
    MediaRow m_media;
};

TEST_F(Page5Test, ShowsTheSpanAndWhereTheCutReallyStarts)
{
    Page5 page(m_media, nullptr);
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Media cutter"));
    EXPECT_EQ(page.cutButton()->text(), QStringLiteral("Cut fragment"));
    EXPECT_EQ(page.playButton()->text(), QStringLiteral("Play fragment"));
    EXPECT_EQ(page.lengthLabel()->text(), QStringLiteral("00:00:10.0")); // the duration column + ".0"
    EXPECT_EQ(page.mediaLengthMs(), 10'000);
    EXPECT_EQ(page.slider()->size(), QSize(820, 150));
    EXPECT_EQ(page.description()->text(), QStringLiteral("Cut fragment from 00:00:00.0 to 00:00:10.0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.keyframesKnown(); }, 20000));
    EXPECT_EQ(page.keyframeLabel()->text(), QStringLiteral("The cut starts at the keyframe at 00:00:00.0"));

    page.slider()->moveHandles(5'370, 8'340);
    EXPECT_EQ(page.startText(), QStringLiteral("5.4"));
    EXPECT_EQ(page.endText(), QStringLiteral("8.3"));
    EXPECT_EQ(page.lengthText(), QStringLiteral("2.9"));
    EXPECT_EQ(page.description()->text(), QStringLiteral("Cut fragment from 00:00:05.4 to 00:00:08.3"));
    EXPECT_EQ(page.keyframeLabel()->text(), QStringLiteral("The cut starts at the keyframe at 00:00:04.0"));
    page.slider()->moveHandles(0, 10'000);
    EXPECT_EQ(page.startText(), QStringLiteral("0.0"));
    EXPECT_EQ(page.endText(), QStringLiteral("10.0"));

    // Dragging the end handle with the mouse moves the span the same way.
    SpanSlider* slider = page.slider();
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->handleX(10'000), y));
    QTest::mouseMove(slider, QPoint(slider->handleX(5'000), y));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->handleX(5'000), y));
    EXPECT_EQ(page.endText(), QStringLiteral("5.0"));
    EXPECT_EQ(page.lengthText(), QStringLiteral("5.0"));
    EXPECT_EQ(page.description()->text(), QStringLiteral("Cut fragment from 00:00:00.0 to 00:00:05.0"));
}

TEST_F(Page5Test, CutsIntoTheOutputFolderAndSaysWhereTheFragmentWent)
{
    // With a file manager for folders, "Open folder" hands it the fragment's folder; nothing
    // opens by itself.
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::FileManager);
    ASSERT_TRUE(desktop.valid());
    Page5 page(m_media, nullptr);
    page.outputDir = QDir(m_store.dir()).filePath(QStringLiteral("missing/folder"));
    QStringList revealed;
    QStringList messages;
    page.savedNotice()->reveal = [&](const QString& folder) { revealed << folder; };
    page.message = [&](const QString& text) { messages << text; };
    page.show();
    page.slider()->moveHandles(3'000, 6'000);
    QTest::mouseClick(page.cutButton(), Qt::LeftButton);
    EXPECT_FALSE(page.cutButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.savedNotice()->isVisible() || !messages.isEmpty(); }, 30000));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char(' ')).toStdString();
    const QString fragment = QDir(page.outputDir).filePath(QStringLiteral("Fragment of abc.mp4"));
    EXPECT_EQ(page.savedNotice()->label()->text(), QStringLiteral("Saved to ") + fragment);
    EXPECT_TRUE(QFileInfo(fragment).size() > 0);
    EXPECT_TRUE(revealed.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.savedNotice()->handlerKnown(); }, 10000));
    ASSERT_TRUE(page.savedNotice()->openButton()->isVisible());
    QTest::mouseClick(page.savedNotice()->openButton(), Qt::LeftButton);
    EXPECT_EQ(revealed, QStringList{page.outputDir});
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Media cutter"));
    EXPECT_TRUE(page.cutButton()->isEnabled());

    // A span past the file's end is refused with a message and writes nothing.
    MediaRow longer = m_media;
    longer.duration = QStringLiteral("00:00:30");
    Page5 wrong(longer, nullptr);
    wrong.outputDir = QDir(m_store.dir()).filePath(QStringLiteral("other"));
    wrong.message = [&](const QString& text) { messages << text; };
    wrong.slider()->moveHandles(8'000, 10'000);
    wrong.cutFragment();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, 30000));
    EXPECT_TRUE(messages.first().startsWith(QStringLiteral("The fragment ends after the end of the file")));
    EXPECT_FALSE(QDir(wrong.outputDir).exists());
}

TEST_F(Page5Test, PreviewsHandlesAndPlaysTheFragmentInThePlayer)
{
    std::unique_ptr<Player> player = makePlayer();
    if (!player->isReady())
        TRAWLIX_SKIP_UNLESS_CI("libvlc cannot start here (missing plugins?)");
    player->preview(m_media.path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->state() == PlayerState::Paused; }, 15000));
    MediaBackend& backend = player->backend();
    Page5 page(m_media, &backend);
    EXPECT_GT(page.mediaLengthMs(), 9'000); // the player's length

    // Moving the end handle shows the frame there.
    page.slider()->moveHandles(0, 5'000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(backend.time() - page.mediaLengthMs() / 2) < 600; }, 10000))
        << backend.time();

    // The fragment plays and ends paused at its end.
    page.slider()->moveHandles(2'000, 2'600);
    page.playFragment();
    EXPECT_EQ(page.playButton()->text(), QStringLiteral("Stop"));
    // It plays from its start and stops at its end, wherever the player was before (the preview
    // left it at 5 s) and however long the start takes.
    qint64 furthest = -1;
    bool playedInside = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const qint64 now = backend.time();
            if (backend.state() == PlayerState::Playing && now >= 1'900 && now <= 2'600)
                playedInside = true;
            if (playedInside)
                furthest = std::max(furthest, now);
            return page.playButton()->text() == QLatin1String("Play fragment");
        },
        15000));
    EXPECT_TRUE(playedInside);
    // The player's clock moves in steps and a pause takes a moment to land (longer on a busy
    // machine): within a second.
    EXPECT_LE(furthest, 2'600 + 1'000) << "played past the fragment's end";
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(backend.time() - 2'600) < 200; }, 5000))
        << "left at the fragment's end: " << backend.time();
    EXPECT_TRUE(QTest::qWaitFor([&] { return backend.state() == PlayerState::Paused; }, 10000));

    // Pressing it while the fragment plays stops it. (It also mutes the player, which the
    // dummy audio output does not let the test observe.)
    page.slider()->moveHandles(0, 9'000);
    page.playFragment();
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend.state() == PlayerState::Playing; }, 10000));
    page.playFragment();
    EXPECT_EQ(page.playButton()->text(), QStringLiteral("Play fragment"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return backend.state() == PlayerState::Paused; }, 10000));
}

// Closing the window, destroying it and quitting the program each end a probe that would run
// on: its ffprobe is gone (reaped) at once, and its report reaches no window.
TEST_F(Page5Test, EndingTheWindowDuringTheProbeEndsFfprobe)
{
    const QString clip = QDir(m_store.dir()).filePath(QStringLiteral("head.ts"));
    ASSERT_TRUE(MediaFixture::makeClip(clip, 4));
    QFile head(clip);
    ASSERT_TRUE(head.open(QIODevice::ReadOnly));
    const QByteArray headBytes = head.read(16384);

    enum class End
    {
        Close,
        Destroy,
        Quit,
    };
    for (const End end : {End::Close, End::Destroy, End::Quit}) {
        const auto name = QStringLiteral("arriving-%1.ts").arg(static_cast<int>(end));
        const ArrivingFile arriving(QDir(m_store.dir()).filePath(name), headBytes);
        ASSERT_TRUE(arriving.valid());
        MediaRow row = m_media;
        row.path = QDir(m_store.dir()).filePath(name);
        auto page = std::make_unique<Page5>(row, nullptr);
        page->show();
        QList<pid_t> probes;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                probes = ffprobeChildren();
                return !probes.isEmpty();
            },
            10000));
        QTest::qWait(200); // ffprobe has read the head and waits for more

        QElapsedTimer timer;
        timer.start();
        switch (end) {
        case End::Close:
            page->close();
            break;
        case End::Destroy:
            page.reset();
            break;
        case End::Quit:
            // The program's own loop ends; the window still exists when it has.
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            QCoreApplication::exec();
            break;
        }
        EXPECT_LT(timer.elapsed(), 2000) << static_cast<int>(end);
        for (const pid_t pid : std::as_const(probes))
            EXPECT_TRUE(processGone(pid)) << "ffprobe " << pid << " outlived the window, end " << static_cast<int>(end);
        EXPECT_EQ(ToolRunner::runningToolCount(), 0);
        if (page) {
            QTest::qWait(200); // the stopped probe's report has had time to arrive
            EXPECT_FALSE(page->keyframesKnown());
            EXPECT_TRUE(page->keyframeLabel()->text().isEmpty());
        }
    }
}

TEST(Page5Open, TheMenuCommandOpensTheCutterOnTheSelectedRow)
{
    ShellFixture shell;
    shell.addRow(QStringLiteral("First clip"), QStringLiteral("1700000001"));
    shell.page().selectRow(0);
    QString title;
    QString description;
    QTimer::singleShot(0, [&] {
        auto* cutter = qobject_cast<Page5*>(QApplication::activeModalWidget());
        if (!cutter)
            return;
        title = cutter->windowTitle();
        description = cutter->description()->text();
        cutter->reject();
    });
    shell.page().dispatch(ShellCommand::CutMediaFile);
    EXPECT_EQ(title, QStringLiteral("Media cutter"));
    EXPECT_TRUE(description.startsWith(QStringLiteral("Cut fragment from 00:00:00.0 to ")))
        << description.toStdString();
}

} // namespace
