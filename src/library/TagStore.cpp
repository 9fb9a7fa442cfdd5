#include "library/TagStore.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "base/Trace.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace TagStore {
namespace {

QMutex g_mutex; // guards the sidecar file and its cached copy
QString g_sidecarOverride;
const QString kDeletionTag = QStringLiteral("deletion");
const QString kDeletionMark = QStringLiteral("InOrderToDelete");
std::atomic<bool> g_xattrEnabled{true};

// Far above what any library needs (a few hundred bytes per file); a larger file is not ours.
constexpr qint64 kMaxSidecarBytes = 64 * 1024 * 1024;

struct SidecarCache
{
    QString path;
    QDateTime modified;
    qint64 size = -1;
    QJsonObject entries;
    bool broken = false; // the file exists but is not a store this program wrote
};
SidecarCache g_cache;

QByteArray attributeName(const QString& tagName)
{
    return QByteArrayLiteral("user.trawlix.") + tagName.toUtf8();
}

QString keyOf(const QString& filePath)
{
    const QFileInfo info(filePath);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

QString currentSidecarPath()
{
    if (!g_sidecarOverride.isEmpty())
        return g_sidecarOverride;
    return AppPaths::hasDataDir() ? AppPaths::file(QStringLiteral("tags.json")) : QString();
}

// The sidecar's entries, reread only when the file changed (another process may write it).
const QJsonObject& loadSidecar(const QString& path)
{
    // One stat: a scan asks for thousands of tags.
    struct stat status
    {
    };
    const bool there = ::stat(QFile::encodeName(path).constData(), &status) == 0;
    const QDateTime modified =
        there ? QDateTime::fromMSecsSinceEpoch(qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000)
              : QDateTime();
    const qint64 size = there ? qint64(status.st_size) : -1;
    if (g_cache.path == path && g_cache.modified == modified && g_cache.size == size)
        return g_cache.entries;
    g_cache = SidecarCache{path, modified, size, {}, false};
    QFile file(path);
    if (size > kMaxSidecarBytes) {
        g_cache.broken = true;
    } else if (file.open(QIODevice::ReadOnly)) {
        // At most the size just checked, even if the file grows meanwhile.
        const QByteArray bytes = file.read(size);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (document.isObject())
            g_cache.entries = document.object();
        else
            g_cache.broken = !bytes.trimmed().isEmpty();
    } else if (size >= 0) {
        g_cache.broken = true; // there, but unreadable: never replace it unread
    }
    if (g_cache.broken)
        trace(QStringLiteral("tag store: %1 is not a tag list (%2 bytes); its tags are not read").arg(path).arg(size));
    return g_cache.entries;
}

bool saveSidecar(const QString& path, const QJsonObject& entries)
{
    // A store that could not be read is kept beside the new one, never written over: it may
    // hold every title of a library on a file system without extended attributes.
    if (g_cache.path == path && g_cache.broken) {
        // An older kept copy stays too.
        QString aside = path + QStringLiteral(".broken");
        for (int n = 2; QFileInfo::exists(aside); ++n)
            aside = path + QStringLiteral(".broken-") + QString::number(n);
        if (!QFile::rename(path, aside))
            return false;
        trace(QStringLiteral("tag store: kept the unreadable %1 as %2").arg(path, aside));
        g_cache = SidecarCache{};
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(entries).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return false;
    g_cache = SidecarCache{};
    return true;
}

QString sidecarValue(const QString& filePath, const QString& tagName)
{
    QMutexLocker lock(&g_mutex);
    const QString path = currentSidecarPath();
    if (path.isEmpty())
        return {};
    const QJsonObject& entries = loadSidecar(path);
    // The file's key resolves every link on its path (a few system calls each): not for an
    // empty sidecar, which is what a scan of a library on a filesystem with attributes meets.
    if (entries.isEmpty())
        return {};
    return entries.value(keyOf(filePath)).toObject().value(tagName).toString();
}

// Sets (or, with remove, drops) one tag of one file in the sidecar.
bool changeSidecar(const QString& key, const QString& tagName, const QString& value, bool remove)
{
    QMutexLocker lock(&g_mutex);
    const QString path = currentSidecarPath();
    if (path.isEmpty())
        return false;
    QJsonObject entries = loadSidecar(path);
    QJsonObject tags = entries.value(key).toObject();
    if (remove) {
        if (!tags.contains(tagName))
            return true;
        tags.remove(tagName);
    } else {
        tags.insert(tagName, value);
    }
    if (tags.isEmpty())
        entries.remove(key);
    else
        entries.insert(key, tags);
    return saveSidecar(path, entries);
}

enum class AttributeRead
{
    Found,
    Absent,      // the file has no such attribute
    Unsupported, // the file system refuses user attributes
    NoFile,
};

AttributeRead readAttribute(const QByteArray& path, const QByteArray& name, QByteArray& value)
{
    for (;;) {
        const ssize_t size = ::getxattr(path.constData(), name.constData(), nullptr, 0);
        if (size < 0)
            break;
        value.resize(size);
        const ssize_t got = ::getxattr(path.constData(), name.constData(), value.data(), static_cast<size_t>(size));
        if (got >= 0) {
            value.resize(got);
            return AttributeRead::Found;
        }
        if (errno != ERANGE)
            break;
    }
    if (errno == ENOENT || errno == ENOTDIR)
        return AttributeRead::NoFile;
    return errno == ENODATA ? AttributeRead::Absent : AttributeRead::Unsupported;
}

} // namespace

QString read(const QString& filePath, const QString& tagName)
{
    const QString fallback = tx(u"Unnamed media file");
    QString value;
    bool found = false;
    bool fileThere = false; // known from the attribute read
    if (g_xattrEnabled.load()) {
        QByteArray bytes;
        switch (readAttribute(QFile::encodeName(filePath), attributeName(tagName), bytes)) {
        case AttributeRead::Found:
            value = QString::fromUtf8(bytes);
            found = true;
            break;
        case AttributeRead::NoFile:
            return fallback;
        case AttributeRead::Absent:
            fileThere = true;
            break;
        case AttributeRead::Unsupported:
            break;
        }
    }
    // The attribute read says whether the file is there (one call where a scan reads thousands);
    // the sidecar only answers for a file that is.
    if (!found) {
        if (!fileThere && !QFileInfo::exists(filePath))
            return fallback;
        value = sidecarValue(filePath, tagName);
    }
    return value.isEmpty() ? fallback : value;
}

bool write(const QString& filePath, const QString& tagName, const QString& value)
{
    if (!QFileInfo(filePath).isFile())
        return false;
    const QString key = keyOf(filePath);
    if (g_xattrEnabled.load()) {
        const QByteArray bytes = value.toUtf8();
        if (::setxattr(QFile::encodeName(filePath).constData(), attributeName(tagName).constData(), bytes.constData(),
                       static_cast<size_t>(bytes.size()), 0) == 0) {
            // An older value kept in the sidecar must not outlive the new one.
            changeSidecar(key, tagName, {}, true);
            return true;
        }
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
    }
    return changeSidecar(key, tagName, value, false);
}

bool markForDeletion(const QString& filePath)
{
    return write(filePath, kDeletionTag, kDeletionMark);
}

bool isMarkedForDeletion(const QString& filePath)
{
    return read(filePath, kDeletionTag) == kDeletionMark;
}

void forget(const QString& filePath)
{
    const QString key = keyOf(filePath);
    QMutexLocker lock(&g_mutex);
    const QString path = currentSidecarPath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QJsonObject entries = loadSidecar(path);
    if (!entries.contains(key))
        return;
    entries.remove(key);
    saveSidecar(path, entries);
}

void setSidecarPath(const QString& path)
{
    QMutexLocker lock(&g_mutex);
    g_sidecarOverride = path;
    g_cache = SidecarCache{};
}

QString sidecarPath()
{
    QMutexLocker lock(&g_mutex);
    return currentSidecarPath();
}

void setExtendedAttributesEnabled(bool enabled)
{
    g_xattrEnabled.store(enabled);
}

} // namespace TagStore
