#include "support/LiveHlsPlaylist.h"

#include "support/MediaFixture.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cmath>

bool LiveHlsPlaylist::makeSegments(const QString& folder, int seconds)
{
    QDir().mkpath(folder);
    return MediaFixture::make(
        folder + QStringLiteral("/vod.m3u8"),
        MediaFixture::patternAndTone(seconds, QStringLiteral("320x180")) + MediaFixture::h264EverySecond() +
            QStringList{QStringLiteral("-f"), QStringLiteral("hls"), QStringLiteral("-hls_time"), QStringLiteral("1"),
                        QStringLiteral("-hls_playlist_type"), QStringLiteral("vod"),
                        QStringLiteral("-hls_segment_filename"), folder + QStringLiteral("/s%03d.ts")});
}

LiveHlsPlaylist::LiveHlsPlaylist(QString folder, QString name, int window, int initial)
    : m_folder(std::move(folder))
    , m_name(std::move(name))
    , m_window(window)
    , m_initial(initial)
{}

LiveHlsPlaylist::~LiveHlsPlaylist()
{
    stop();
}

bool LiveHlsPlaylist::start()
{
    QFile vod(m_folder + QStringLiteral("/vod.m3u8"));
    if (!vod.open(QIODevice::ReadOnly))
        return false;
    double duration = 0;
    for (const QByteArray& raw : vod.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("#EXTINF:"))
            duration = line.mid(8, line.indexOf(',') - 8).toDouble();
        else if (!line.isEmpty() && !line.startsWith('#')) {
            m_names << QString::fromUtf8(line);
            m_durations << duration;
        }
    }
    if (m_names.isEmpty())
        return false;
    write(std::min(m_initial, total()), false);
    m_thread = std::thread([this] { run(); });
    return true;
}

void LiveHlsPlaylist::endList()
{
    m_ended = true;
}

void LiveHlsPlaylist::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void LiveHlsPlaylist::run()
{
    const auto started = std::chrono::steady_clock::now();
    bool endedWritten = false;
    while (!m_stop) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const int count = std::min(total(), m_initial + int(std::floor(elapsed)));
        const bool ended = m_ended || count == total();
        if (count != m_published || (ended && !endedWritten)) {
            write(count, ended);
            endedWritten = ended;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void LiveHlsPlaylist::write(int count, bool ended)
{
    const int first = std::max(0, count - m_window);
    double longest = 1;
    for (int i = first; i < count; ++i)
        longest = std::max(longest, m_durations.at(i));
    QByteArray text =
        "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" + QByteArray::number(int(std::ceil(longest))) +
        "\n#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(first) + '\n';
    for (int i = first; i < count; ++i)
        text += "#EXTINF:" + QByteArray::number(m_durations.at(i), 'f', 6) + ",\n" + m_names.at(i).toUtf8() + '\n';
    if (ended)
        text += "#EXT-X-ENDLIST\n";
    // Whole or not at all: the server never serves half a playlist.
    QSaveFile file(m_folder + QLatin1Char('/') + m_name);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        m_published = count;
}
