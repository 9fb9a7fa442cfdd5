#include "streams/FetchPlanner.h"

namespace {

// Two addresses name the same playlist when they differ only in the fragment.
QUrl key(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveFragment);
}

} // namespace

FetchPlanner::FetchPlanner(const QUrl& manifest, int maxPlaylists)
    : m_seen{key(manifest)}
    , m_queue{key(manifest)}
    , m_maxPlaylists(maxPlaylists)
{}

std::optional<QUrl> FetchPlanner::next() const
{
    if (m_queue.isEmpty())
        return std::nullopt;
    return m_queue.constFirst();
}

std::optional<StreamError> FetchPlanner::fetched(const QUrl& url, const QList<QUrl>& needs)
{
    const qsizetype at = m_queue.indexOf(key(url));
    if (at < 0)
        return streamError(StreamError::Code::Malformed,
                           QStringLiteral("%1 was not asked for").arg(url.toDisplayString().left(200)));
    m_queue.removeAt(at);
    for (const QUrl& need : needs) {
        const QUrl needed = key(need);
        if (m_seen.contains(needed)) {
            m_queue.clear();
            return streamError(StreamError::Code::Loop,
                               QStringLiteral("%1 names %2, already fetched or asked for")
                                   .arg(url.toDisplayString().left(200), needed.toDisplayString().left(200)));
        }
        if (m_seen.size() >= m_maxPlaylists) {
            m_queue.clear();
            return streamError(StreamError::Code::TooManyPlaylists,
                               QStringLiteral("the stream needs more than %1 playlists").arg(m_maxPlaylists));
        }
        m_seen.append(needed);
        m_queue.append(needed);
    }
    return std::nullopt;
}
