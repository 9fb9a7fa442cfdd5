#pragma once

#include <QString>

// Whether some process still has a file open for writing (a recorder or the link downloader
// filling it). Linux does not refuse a second opener the way the described platform does, so the
// open descriptors in /proc decide.
namespace FileBusy {

bool isOpenForWriting(const QString& path);

} // namespace FileBusy
