#pragma once

#include <QString>

#include <functional>

// Copies a file in 64 KiB blocks, reporting whole percentages (bytes copied x 100 / size) as
// they change. The target is replaced; a copy that fails part-way leaves no target behind.
namespace FileCopy {

inline constexpr qint64 BlockSize = 65536;

bool copy(const QString& source, const QString& target, const std::function<void(int percent)>& progress = {});

// Appends source's bytes from offset on to target; returns the number of bytes appended, or -1
// when either file cannot be opened.
qint64 appendFrom(const QString& source, qint64 offset, qint64 end, const QString& target);

} // namespace FileCopy
