#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <thread>

// A live HLS stream for tests, published as an encoder does: ffmpeg cuts a programme into 1 s
// transport-stream segments once (a VOD set in the served folder), and a thread of the test
// publishes them through a media playlist that grows by one segment a second over a sliding
// window, until endList() (or the last segment) adds EXT-X-ENDLIST.
class LiveHlsPlaylist final
{
public:
    // Makes `seconds` of test pattern and tone as segments s000.ts... and their VOD playlist
    // vod.m3u8 in `folder` (made when missing). False when ffmpeg failed.
    static bool makeSegments(const QString& folder, int seconds);

    // Publishes folder/`name`: `initial` segments at once, then one a second, `window` at most.
    LiveHlsPlaylist(QString folder, QString name = QStringLiteral("live.m3u8"), int window = 5, int initial = 3);
    ~LiveHlsPlaylist();
    LiveHlsPlaylist(const LiveHlsPlaylist&) = delete;
    LiveHlsPlaylist& operator=(const LiveHlsPlaylist&) = delete;

    // Reads vod.m3u8 and starts publishing; false when it holds no segment.
    bool start();
    void endList();
    void stop();

    int published() const { return m_published; }
    int total() const { return int(m_names.size()); }
    double segmentSeconds(int index) const { return m_durations.value(index); }

private:
    void run();
    void write(int count, bool ended);

    QString m_folder;
    QString m_name;
    int m_window;
    int m_initial;
    QStringList m_names;
    QList<double> m_durations;
    std::atomic<int> m_published{0};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
