#pragma once

#include <QString>

#include <chrono>
#include <functional>

class Settings;

// The settings the request analyser consults, read together.
struct MediaFilterSettings
{
    bool downloadHttp = false;      // video and generic binary responses
    bool downloadHttpMusic = false; // audio responses
    bool flv = false;
    bool mp4 = false;
    bool webm = false;
    bool m4v = false;
    bool quicktime = false;
    bool ogg = false;
    bool mpeg = false;
    bool matroska = false;
    bool wmv = false;
    bool msvideo = false;

    static MediaFilterSettings read(const Settings& store);
    // Everything on: for tests and the benchmark.
    static MediaFilterSettings allOn();
};

// Reads the settings store for the capture thread. A store read costs tens of microseconds
// (one file check and parse per value), which a burst of small responses cannot afford per
// frame, so a reading is reused for a quarter of a second: a change made in the settings
// window takes effect within that time.
class CachedMediaFilterSettings final
{
public:
    using Reader = std::function<MediaFilterSettings()>;

    explicit CachedMediaFilterSettings(Reader reader,
                                       std::chrono::milliseconds maxAge = std::chrono::milliseconds(250));

    MediaFilterSettings get();

private:
    Reader m_reader;
    std::chrono::milliseconds m_maxAge;
    std::chrono::steady_clock::time_point m_readAt;
    MediaFilterSettings m_value;
    bool m_valid = false;
};
