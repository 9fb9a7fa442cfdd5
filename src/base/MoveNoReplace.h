#pragma once

#include <QByteArray>

// rename() that never replaces: false with errno EEXIST when `to` exists, also when another
// process creates it at the same moment. On a file system without RENAME_NOREPLACE a hard link
// does the same exclusively, and `from` is unlinked after it.
bool moveNoReplace(const QByteArray& from, const QByteArray& to);
