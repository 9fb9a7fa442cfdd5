#pragma once

#include <QByteArray>
#include <QString>

// Whether live capture is possible for this process. The capture helper opens the adapters;
// opening one takes CAP_NET_RAW, which the helper has when the package (or the user) grants it
// to the helper's file, when the helper is set-user-ID root, or when this program runs as root.
// The program itself is never granted anything.
namespace CapturePermission {

// True when the capture helper will hold CAP_NET_RAW once started from this process.
bool granted();

// The same from its parts: this process's /proc/self/status text, and the helper file's
// "security.capability" attribute (empty when it has none), owner and set-user-ID bit.
bool grantedTo(const QByteArray& ownStatus, const QByteArray& helperCapability, bool helperSetuidRoot);

// True when the effective capabilities in the text of /proc/<pid>/status hold CAP_NET_RAW: its
// "CapEff:" line, as the kernel writes it (sixteen hexadecimal digits). Anything else reads as
// not granted.
bool grantedByStatus(const QByteArray& status);

// True when a file capability attribute (struct vfs_cap_data, revision 2 or 3; little endian)
// grants CAP_NET_RAW permitted and effective on exec.
bool grantedByFileCapability(const QByteArray& attribute);

// What is missing and how to grant it, for the window and standard error: the setcap command
// for the capture helper.
QString missingMessage();
QString missingMessage(const QString& helper);

} // namespace CapturePermission
