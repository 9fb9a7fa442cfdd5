#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Writes files, in order, into a FIFO that a tool reads as one input: a track's segment files
// become the tool's track without a joined copy on disk. Each file is taken only once it is whole
// on disk (`wait`), so the feed can run while the segments still download. The FIFO is opened
// without blocking and every write waits at most a tenth of a second at a time, so a tool that
// never opens its input, stops reading or dies releases the feed as soon as `cancelled` says so
// (a write to a reader that is gone fails; SIGPIPE is held off the feeding thread).
namespace StreamFeed {

enum class Outcome
{
    Fed,        // every file went in; the FIFO is closed (the reader sees its end)
    Cancelled,  // `cancelled` or `wait` said to give up
    ReaderGone, // the reader closed its end before the last byte
    Failed,     // the FIFO or a file could not be opened or read
};

// Blocks until path is whole on disk; false to give up.
using Wait = std::function<bool(const QString& path)>;
// True once the feed is to end early (the tool ended, the download failed or was stopped).
using Cancelled = std::function<bool()>;

// Runs on the calling thread until the feed ends.
Outcome feed(const QString& fifo, const QStringList& files, const Wait& wait, const Cancelled& cancelled);

} // namespace StreamFeed
