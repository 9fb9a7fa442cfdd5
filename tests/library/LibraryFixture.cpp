#include "LibraryFixture.h"

#include "base/AppPaths.h"
#include "base/Texts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

void LibraryFixture::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(m_dir.path());
    QDir::setCurrent(m_dir.path());
    for (const char* name : {"Videos", "Temp", "TempRecords", "TempDownloads", "TempExport", "FavIcons", "Screens",
                             "32x32", "16x16", "160x90"})
        QDir().mkpath(dir() + QLatin1String(name));
    QFile xml(dir() + QStringLiteral("videos.xml"));
    ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
    xml.write("<slideshow />");
    xml.close();
    m_settings = std::make_unique<Settings>(dir() + QStringLiteral("Trawlix.conf"));
    Settings::setInstance(m_settings.get());

    // ffprobe runs (the duration probe) count as tool runs too.
    for (const char* tool : {"ffmpeg", "ffprobe"}) {
        QFile wrapper(dir() + QLatin1String(tool));
        ASSERT_TRUE(wrapper.open(QIODevice::WriteOnly));
        wrapper.write("#!/bin/sh\necho run >> \"" + QFile::encodeName(dir()) + "ffmpeg-runs\"\nexec \"" +
                      QFile::encodeName(QStandardPaths::findExecutable(QLatin1String(tool))) + "\" \"$@\"\n");
        wrapper.close();
        wrapper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    m_now = QDateTime::currentSecsSinceEpoch();
    m_context = std::make_unique<LibraryContext>(LibraryContext{m_table, m_imagesIndexes, m_mp3Files, m_videoFiles});
    m_clock.setSeconds(m_now);
    m_context->clock = &m_clock;
}

void LibraryFixture::TearDown()
{
    spin();
    Settings::setInstance(nullptr);
    QDir::setCurrent(QDir::tempPath());
}

int LibraryFixture::ffmpegRuns() const
{
    QFile runs(dir() + QStringLiteral("ffmpeg-runs"));
    if (!runs.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(runs.readAll().count('\n'));
}

void LibraryFixture::resetFfmpegRuns() const
{
    QFile::remove(dir() + QStringLiteral("ffmpeg-runs"));
}

QString LibraryFixture::ffmpegPath()
{
    static const QString path = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    return path;
}

void LibraryFixture::ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(LibraryFixture::ffmpegPath(), QStringList{QStringLiteral("-v"), QStringLiteral("error"),
                                                            QStringLiteral("-nostdin"), QStringLiteral("-y")} +
                                                    arguments);
    ASSERT_TRUE(process.waitForFinished(60000)) << "ffmpeg did not finish";
    ASSERT_EQ(process.exitCode(), 0) << process.readAll().constData();
}

void LibraryFixture::makeVideo(const QString& path, int width, int height, int seconds, const QStringList& extra)
{
    const QString size = QString::number(width) + QLatin1Char('x') + QString::number(height);
    ffmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc=size=") + size + QStringLiteral(":rate=10:duration=") +
                           QString::number(seconds),
                       QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:duration=") + QString::number(seconds),
                       QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                       QStringLiteral("mpeg4"), QStringLiteral("-shortest")} +
           extra + QStringList{path});
}

void LibraryFixture::makeAudio(const QString& path, int seconds, const QStringList& extra)
{
    ffmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:duration=") + QString::number(seconds)} +
           extra + QStringList{path});
}

void LibraryFixture::spin()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
}

QStringList LibraryFixture::photoImages() const
{
    QFile xml(dir() + QStringLiteral("videos.xml"));
    if (!xml.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(xml.readAll());
    QStringList images;
    static const QRegularExpression image(QStringLiteral("image=\"([^\"]*)\""));
    for (auto it = image.globalMatch(text); it.hasNext();)
        images << it.next().captured(1);
    return images;
}
