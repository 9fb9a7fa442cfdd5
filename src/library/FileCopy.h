#pragma once

#include <QString>

#include <atomic>
#include <functional>

// Copies a file in 64 KiB blocks, reporting whole percentages (bytes copied x 100 / size) as
// they change. The target is replaced; a copy that fails part-way leaves no target behind. A
// source that is not a regular file (a FIFO would never end) is not copied.
namespace FileCopy {

inline constexpr qint64 BlockSize = 65536;

// A set stop flag (may be null) ends the copy between two blocks, as a failure.
bool copy(const QString& source,
          const QString& target,
          const std::function<void(int percent)>& progress = {},
          const std::atomic<bool>* stop = nullptr);

// Appends source's bytes from offset on to target; returns the number of bytes appended, or -1
// when either file cannot be opened.
qint64 appendFrom(const QString& source, qint64 offset, qint64 end, const QString& target);

} // namespace FileCopy
