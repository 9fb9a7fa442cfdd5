#pragma once

#include <QByteArray>
#include <QList>

// What /proc says about a process, for tests that check privileges and process lifetimes.
namespace ProcessStatus {

// One line's value of /proc/<pid>/status ("CapEff", "NoNewPrivs"); empty when there is none.
QByteArray value(qint64 pid, const char* key);

// The running (not zombie) children of `parent` whose command name is `name`.
QList<qint64> children(qint64 parent, const QByteArray& name);

// Gone, or a zombie nobody has reaped yet.
bool gone(qint64 pid);

} // namespace ProcessStatus
