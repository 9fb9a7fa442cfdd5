#include "capture/CapturePermission.h"

#include "base/Texts.h"
#include "capture/CaptureHelper.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace CapturePermission {
namespace {

constexpr int kNetRaw = 13; // CAP_NET_RAW in <linux/capability.h>
constexpr qint64 kMaxStatusBytes = 64 * 1024;

// <linux/capability.h>: the revision in the top byte of the first word, then pairs of
// (permitted, inheritable) words, then (revision 3) the owner in its user namespace.
constexpr quint32 kRevisionMask = 0xFF000000u;
constexpr quint32 kRevision2 = 0x02000000u;
constexpr quint32 kRevision3 = 0x03000000u;
constexpr quint32 kEffectiveFlag = 0x000001u;

quint32 littleEndianWord(const QByteArray& bytes, int at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 | quint32(quint8(bytes[at + 2])) << 16 |
           quint32(quint8(bytes[at + 3])) << 24;
}

// "NoNewPrivs:\t1": no exec of this process can gain a capability.
bool forbidsNewPrivileges(const QByteArray& status)
{
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("NoNewPrivs:"))
            return line.mid(11).trimmed() != "0";
    }
    return false;
}

} // namespace

bool grantedByStatus(const QByteArray& status)
{
    static const QByteArray key = QByteArrayLiteral("CapEff:");
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith(key))
            continue;
        const QByteArray digits = line.mid(key.size()).trimmed();
        if (digits.isEmpty() || digits.size() > 16)
            return false;
        bool ok = false;
        const qulonglong effective = digits.toULongLong(&ok, 16);
        return ok && (effective >> kNetRaw & 1u) != 0;
    }
    return false;
}

bool grantedByFileCapability(const QByteArray& attribute)
{
    if (attribute.size() < 4)
        return false;
    const quint32 magic = littleEndianWord(attribute, 0);
    const quint32 revision = magic & kRevisionMask;
    if (revision == kRevision2) {
        if (attribute.size() != 20)
            return false;
    } else if (revision == kRevision3) {
        // Owned by root of this (the initial) namespace only; another namespace's root gets nothing here.
        if (attribute.size() != 24 || littleEndianWord(attribute, 20) != 0)
            return false;
    } else {
        return false;
    }
    const quint32 permitted = littleEndianWord(attribute, 4);
    return (magic & kEffectiveFlag) != 0 && (permitted >> kNetRaw & 1u) != 0;
}

bool grantedTo(const QByteArray& ownStatus, const QByteArray& helperCapability, bool helperSetuidRoot)
{
    // Root starts the helper with every capability (unless root's own were taken away).
    if (geteuid() == 0 && grantedByStatus(ownStatus))
        return true;
    if (forbidsNewPrivileges(ownStatus))
        return false;
    return helperSetuidRoot || grantedByFileCapability(helperCapability);
}

bool granted()
{
    QByteArray status;
    QFile file(QStringLiteral("/proc/self/status"));
    if (file.open(QIODevice::ReadOnly))
        status = file.read(kMaxStatusBytes);
    const QByteArray helper = QFile::encodeName(CaptureHelper::program());
    struct stat info = {};
    if (stat(helper.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const bool setuidRoot = info.st_uid == 0 && (info.st_mode & S_ISUID) != 0;
    char attribute[64] = {};
    const ssize_t size = getxattr(helper.constData(), "security.capability", attribute, sizeof attribute);
    return grantedTo(status, size > 0 ? QByteArray(attribute, int(size)) : QByteArray(), setuidRoot);
}

QString missingMessage()
{
    return missingMessage(CaptureHelper::program());
}

QString missingMessage(const QString& helper)
{
    return tx(u"Live capture needs the permission to capture network traffic (cap_net_raw, cap_net_admin), "
              u"and the capture helper does not have it. Grant it once with:\n"
              u"sudo setcap cap_net_raw,cap_net_admin+ep %1\n"
              u"Everything else works without it.")
        .arg(helper);
}

} // namespace CapturePermission
