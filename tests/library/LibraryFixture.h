#pragma once

#include "base/Settings.h"
#include "library/LibraryContext.h"
#include "library/MediaTableModel.h"
#include "support/ManualClock.h"
#include "support/QStringPrinter.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A data folder of its own for each test: working folders, an empty "videos.xml", a settings
// file, a media table and the record arrays, and an ffmpeg in the data folder that counts its
// starts before handing over to the real one.
class LibraryFixture : public ::testing::Test
{
public:
    // Media made by ffmpeg at test time (not counted). extra goes before the output path.
    static void makeVideo(const QString& path, int width, int height, int seconds, const QStringList& extra = {});
    static void makeAudio(const QString& path, int seconds, const QStringList& extra = {});
    static QString ffmpegPath();
    // Runs the real ffmpeg quietly ("-y" is given); the test fails when it fails.
    static void ffmpeg(const QStringList& arguments);

protected:
    void SetUp() override;
    void TearDown() override;

    QString dir() const { return m_dir.path() + QLatin1Char('/'); }
    QString videos() const { return dir() + QStringLiteral("Videos/"); }
    int ffmpegRuns() const;
    void resetFfmpegRuns() const;

    // Runs queued table changes until the condition holds or the time is up.
    template <typename Fn> bool processUntil(Fn&& condition, int seconds = 10)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.hasExpired(seconds * 1000))
                return false;
            spin();
        }
        return true;
    }
    static void spin();

    QStringList photoImages() const; // the "image" attributes of videos.xml, in order

    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    MediaTableModel m_table;
    ImagesIndexArray m_imagesIndexes;
    MP3FileArray m_mp3Files;
    VideoFileArray m_videoFiles;
    qint64 m_now = 0; // the clock of the test, fixed at set-up
    ManualClock m_clock;
    std::unique_ptr<LibraryContext> m_context;
};
