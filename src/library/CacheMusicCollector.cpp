#include "library/CacheMusicCollector.h"

#include "base/Settings.h"
#include "base/Trace.h"
#include "base/UsageCounters.h"
#include "library/AudioTitle.h"
#include "library/CacheEntryFile.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/RegularFile.h"
#include "library/TagStore.h"
#include "model/BaseNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kMarkTag = QStringLiteral("title");
const QString kMarkValue = QStringLiteral("1");

// "ID3" (an ID3v2 tag), or an MPEG-1 Layer III frame header with or without CRC.
bool looksLikeMp3(const QByteArray& first)
{
    if (first.size() < 3)
        return false;
    if (first.startsWith("ID3"))
        return true;
    const auto byte = [&](int i) { return static_cast<quint8>(first[i]); };
    return byte(0) == 0xFF && (byte(1) == 0xFA || byte(1) == 0xFB);
}

// The creation time the file system keeps; the last change where it keeps none.
QDateTime creationTime(const QFileInfo& file)
{
    const QDateTime birth = file.birthTime();
    return (birth.isValid() ? birth : file.lastModified()).toUTC();
}

// The profile folders a pattern stands for, in name order.
QStringList expand(const QString& cacheHome, const QString& pattern)
{
    const qsizetype star = pattern.indexOf(QLatin1Char('*'));
    if (star < 0)
        return {cacheHome + QLatin1Char('/') + pattern};
    const QString parent = cacheHome + QLatin1Char('/') + pattern.left(star);
    const QString rest = pattern.mid(star + 1);
    QStringList folders;
    const QDir dir(parent);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        folders << parent + name + rest;
    return folders;
}

} // namespace

CacheMusicCollector::CacheMusicCollector(const LibraryContext& context,
                                         QString cacheHome,
                                         std::function<bool()> monitoring)
    : m_context(context)
    , m_cacheHome(std::move(cacheHome))
    , m_monitoring(std::move(monitoring))
{}

QList<CacheMusicCollector::Browser> CacheMusicCollector::browsers()
{
    return {
        {QStringLiteral("chrome"),
         false,
         {QStringLiteral("google-chrome/*/Cache/Cache_Data"), QStringLiteral("chromium/*/Cache/Cache_Data")}},
        {QStringLiteral("yandex"), false, {QStringLiteral("yandex-browser/*/Cache/Cache_Data")}},
        {QStringLiteral("firefox"), true, {QStringLiteral("mozilla/firefox/*/cache2/entries")}},
        {QStringLiteral("opera"), false, {QStringLiteral("opera/Cache/Cache_Data")}},
        // The settings' last browser stands for the other Chromium browsers.
        {QStringLiteral("ie"),
         false,
         {QStringLiteral("BraveSoftware/Brave-Browser/*/Cache/Cache_Data"),
          QStringLiteral("vivaldi/*/Cache/Cache_Data"), QStringLiteral("microsoft-edge/*/Cache/Cache_Data")}},
    };
}

int CacheMusicCollector::cycle()
{
    const Settings& settings = Settings::instance();
    if ((m_monitoring && !m_monitoring()) || !settings.getMusicFromCache())
        return 0;
    int taken = 0;
    for (const Browser& browser : browsers()) {
        if (!settings.flag(browser.setting))
            continue;
        for (const QString& pattern : browser.folders) {
            for (const QString& folder : expand(m_cacheHome, pattern))
                taken += ScanCacheFolder(folder, browser.firefox);
        }
    }
    return taken;
}

int CacheMusicCollector::ScanCacheFolder(const QString& folder, bool firefox, int depth)
{
    const QDir dir(folder);
    int taken = 0;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
        // A cache holds no links; one may lead anywhere (or in a circle).
        if (entry.isSymLink())
            continue;
        if (entry.isDir()) {
            if (depth < MaxDepth)
                taken += ScanCacheFolder(entry.filePath(), firefox, depth + 1);
            continue;
        }
        if (entry.isFile() && examine(entry, firefox))
            ++taken;
    }
    return taken;
}

bool CacheMusicCollector::isMarked(const QString& cachePath)
{
    return TagStore::read(cachePath, kMarkTag) == kMarkValue;
}

bool CacheMusicCollector::mark(const QString& cachePath)
{
    return TagStore::write(cachePath, kMarkTag, kMarkValue);
}

bool CacheMusicCollector::examine(const QFileInfo& file, bool firefox)
{
    // The body is never larger than its file, so small files need no opening.
    if (file.size() <= SizeLimit)
        return false;
    CacheEntryFormat format = CacheEntryFormat::FirefoxEntry;
    if (!firefox) {
        // Only these two hold a response body; the index and stream 2 files do not.
        if (file.fileName().endsWith(QLatin1String("_0")))
            format = CacheEntryFormat::ChromiumStream;
        else if (file.fileName().endsWith(QLatin1String("_s")))
            format = CacheEntryFormat::ChromiumSparse;
        else
            return false;
    }
    const QString path = file.filePath();
    const bool known = m_context.mp3Files.withLock([&](const QList<MP3File>& files) {
        return std::any_of(files.begin(), files.end(), [&](const MP3File& f) { return f.cachePath == path; });
    });
    if (known || isMarked(path))
        return false;

    CacheEntryFile entry(path, format);
    if (!entry.open()) {
        if (!entry.why().isEmpty())
            trace(QStringLiteral("Func: ScanCacheFolder, bad cache entry ") + path + QStringLiteral(": ") +
                  entry.why());
        return false;
    }
    if (entry.bodySize() <= SizeLimit || !looksLikeMp3(entry.readBody(0, 3)))
        return false;

    const QDateTime fileTime = creationTime(file);
    const QByteArray first = entry.readBody(0, DuplicateTestBytes);
    const QList<MP3File> records = m_context.mp3Files.withLock([](const QList<MP3File>& files) { return files; });
    if (records.size() >= MaxRecords)
        return false;
    for (const MP3File& record : records) {
        QFile copy;
        if (!RegularFile::open(copy, record.libraryPath, QIODevice::ReadOnly) || copy.read(DuplicateTestBytes) != first)
            continue;
        // The same song cached again: taken once more only when it holds more than the copy.
        const bool grown = entry.bodySize() > record.copiedSize;
        if (fileTime.secsTo(m_context.clock->now()) > MarkAfterSeconds)
            mark(path);
        if (!grown)
            return false;
        break;
    }

    // The body goes in through a scratch file under a free base, so that it never replaces a
    // library file; the cache entry stays the browser's.
    const qint64 now = m_context.now();
    const QString firstBase = m_context.videoFiles.withLock(
        [now](const QList<VideoFile>& files) { return BaseNames::firstFree(files, now); });
    const LibraryTarget::Placement placed =
        LibraryTarget::place({path, firstBase.toLongLong(), QStringLiteral(".mp3"), false}, [&](const QString& staged) {
            QFile out(staged);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return QStringLiteral("the scratch file cannot be written");
            return entry.appendBody(out, 0) > 0 ? QString() : QStringLiteral("the body could not be read");
        });
    if (!placed.placed())
        return false;
    const QString& library = placed.path;

    MP3File record;
    record.copiedSize = QFileInfo(library).size();
    record.cachePath = path;
    record.libraryPath = library;
    record.fileTime = fileTime;
    record.format = format;
    m_context.mp3Files.append(record);
    UsageCounters::countMusicFromCache();
    if (m_context.flashWindow)
        m_context.flashWindow();

    mark(path);
    TagStore::write(library, QStringLiteral("title"), AudioTitle::read(library, &m_context.mp3Files));
    LibraryInserter::insert(m_context, library, QStringLiteral("DefaultAudio"));
    return true;
}
