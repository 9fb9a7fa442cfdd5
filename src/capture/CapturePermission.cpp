#include "capture/CapturePermission.h"

#include "base/Texts.h"

#include <QFile>

namespace CapturePermission {
namespace {

constexpr int kNetRaw = 13; // CAP_NET_RAW in <linux/capability.h>
constexpr qint64 kMaxStatusBytes = 64 * 1024;

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

bool granted()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return grantedByStatus(file.read(kMaxStatusBytes));
}

QString missingMessage(const QString& executable)
{
    return tx(u"Live capture needs the permission to capture network traffic (cap_net_raw, cap_net_admin), "
              u"and this program does not have it. Grant it once with:\n"
              u"sudo setcap cap_net_raw,cap_net_admin+ep %1\n"
              u"Everything else works without it.")
        .arg(executable);
}

} // namespace CapturePermission
