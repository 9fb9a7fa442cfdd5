#include "capture/MediaFilterSettings.h"

#include "base/Settings.h"

MediaFilterSettings MediaFilterSettings::read(const Settings& store)
{
    MediaFilterSettings s;
    s.downloadHttp = store.downloadHttp();
    s.downloadHttpMusic = store.downloadHttpMusic();
    s.flv = store.flag(QStringLiteral("x_flv"));
    s.mp4 = store.flag(QStringLiteral("mp4"));
    s.webm = store.flag(QStringLiteral("webm"));
    s.m4v = store.flag(QStringLiteral("x_m4v"));
    s.quicktime = store.flag(QStringLiteral("quicktime"));
    s.ogg = store.flag(QStringLiteral("ogg"));
    s.mpeg = store.flag(QStringLiteral("mpeg"));
    s.matroska = store.flag(QStringLiteral("x_matroska"));
    s.wmv = store.flag(QStringLiteral("x_ms_wmv"));
    s.msvideo = store.flag(QStringLiteral("x_msvideo"));
    return s;
}

MediaFilterSettings MediaFilterSettings::allOn()
{
    MediaFilterSettings s;
    s.downloadHttp = s.downloadHttpMusic = true;
    s.flv = s.mp4 = s.webm = s.m4v = s.quicktime = s.ogg = true;
    s.mpeg = s.matroska = s.wmv = s.msvideo = true;
    return s;
}

CachedMediaFilterSettings::CachedMediaFilterSettings(Reader reader, std::chrono::milliseconds maxAge)
    : m_reader(std::move(reader))
    , m_maxAge(maxAge)
{}

MediaFilterSettings CachedMediaFilterSettings::get()
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_valid || now - m_readAt >= m_maxAge) {
        m_value = m_reader();
        m_readAt = now;
        m_valid = true;
    }
    return m_value;
}
