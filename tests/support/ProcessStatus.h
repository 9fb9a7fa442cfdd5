#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What /proc says about a process, for tests that check privileges and process lifetimes.
namespace ProcessStatus {

// One line's value of /proc/<pid>/status ("CapEff", "NoNewPrivs"); empty when there is none.
QByteArray value(qint64 pid, const char* key);

// The running (not zombie) children of `parent` whose command name is `name`.
QList<qint64> children(qint64 parent, const QByteArray& name);

// A process other than this one that holds path open (a tool reading a FIFO), when there is one.
std::optional<qint64> holderOf(const QString& path);

// The bytes process pid has read through read() and its kin ("rchar" of /proc/pid/io); -1 when
// it cannot be read.
qint64 readBytes(qint64 pid);

// Gone, or a zombie nobody has reaped yet.
bool gone(qint64 pid);

} // namespace ProcessStatus
