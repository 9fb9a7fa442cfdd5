#pragma once

#include <QByteArray>
#include <QString>

// Whether this process may capture live traffic. Opening an adapter for capture takes
// CAP_NET_RAW (root has it; the package grants it to the program's file together with
// CAP_NET_ADMIN); without it libpcap fails on every adapter.
namespace CapturePermission {

// True when the effective capabilities of this process hold CAP_NET_RAW.
bool granted();

// The same from the text of /proc/<pid>/status: its "CapEff:" line, as the kernel writes it
// (sixteen hexadecimal digits). Anything else reads as not granted.
bool grantedByStatus(const QByteArray& status);

// What is missing and how to grant it, for the window and standard error; executable is the
// path the setcap command names.
QString missingMessage(const QString& executable);

} // namespace CapturePermission
