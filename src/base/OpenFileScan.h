#pragma once

#include <QSet>
#include <QString>

#include <utility>

// The files that running processes hold open, read once from /proc/<pid>/fd. Linux has no
// exclusive open to test with, so "nobody holds the file" is asked this way instead. Only the
// processes this user may inspect are seen, which covers every tool Trawlix itself started.
class OpenFileScan final
{
public:
    OpenFileScan();

    bool isOpen(const QString& path) const;

private:
    QSet<std::pair<quint64, quint64>> m_open; // (device, inode)
};
