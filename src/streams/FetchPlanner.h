#pragma once

#include "streams/StreamError.h"

#include <QList>
#include <QUrl>

#include <optional>

// Which playlists a stream still needs. The manifest is the first; each fetched playlist names
// the ones it needs next. A playlist that names one already fetched or asked for (a master that
// names itself, two playlists naming each other) is a loop, and more than `maxPlaylists` in all
// is refused: either ends the stream with an error.
class FetchPlanner final
{
public:
    explicit FetchPlanner(const QUrl& manifest, int maxPlaylists);

    // The next playlist to fetch, in the order they were named; none when all are in.
    std::optional<QUrl> next() const;
    QList<QUrl> outstanding() const { return m_queue; }

    // `url` (one of outstanding()) arrived and names `needs`.
    std::optional<StreamError> fetched(const QUrl& url, const QList<QUrl>& needs);

    bool done() const { return m_queue.isEmpty(); }
    int count() const { return int(m_seen.size()); }

private:
    QList<QUrl> m_seen; // every playlist fetched or asked for, in order
    QList<QUrl> m_queue;
    int m_maxPlaylists;
};
