// Feeds a sequence of frames to two analysers, one finding records through its indexes and
// one walking the arrays, and stops on any difference. Input: two bytes of settings switches,
// then frames, each a two-byte big-endian length and that many bytes (fewer at the input's end).
// Every frame is copied into a buffer of exactly its size, so a read past its end is caught.

#include "base/Texts.h"
#include "capture/RequestAnalyser.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

MediaFilterSettings settingsFrom(quint16 bits)
{
    MediaFilterSettings s;
    bool* const flags[] = {&s.downloadHttp, &s.downloadHttpMusic, &s.flv, &s.mp4,     &s.webm, &s.m4v, &s.quicktime,
                           &s.ogg,          &s.matroska,          &s.wmv, &s.msvideo, &s.mpeg};
    for (size_t i = 0; i < std::size(flags); ++i)
        *flags[i] = (bits >> i) & 1;
    return s;
}

struct Side
{
    explicit Side(RequestAnalyser::Lookup lookup, MediaFilterSettings settings)
        : analyser(
              {gets, history, videoFiles, detected}, [settings] { return settings; }, lookup)
    {
        analyser.setClock([] { return qint64(1700000000); });
    }

    GetArray gets;
    HistoryArray history;
    VideoFileArray videoFiles;
    std::atomic<qint64> detected{0};
    RequestAnalyser analyser;
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void compare(const Side& a, const Side& b)
{
    const QList<Get> x = a.gets.snapshot();
    const QList<Get> y = b.gets.snapshot();
    require(x.size() == y.size());
    for (qsizetype i = 0; i < x.size(); ++i)
        require(x[i].requestText == y[i].requestText && x[i].complete == y[i].complete);
    require(a.history.snapshot() == b.history.snapshot());
    const QList<VideoFile> v = a.videoFiles.snapshot();
    const QList<VideoFile> w = b.videoFiles.snapshot();
    require(v.size() == w.size());
    for (qsizetype i = 0; i < v.size(); ++i)
        require(v[i].url == w[i].url && v[i].baseName == w[i].baseName && v[i].cookie == w[i].cookie);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool textsReady = [] {
        Texts::init(QStringLiteral("EN"));
        return true;
    }();
    (void)textsReady;
    if (size < 2)
        return 0;
    const MediaFilterSettings settings = settingsFrom(quint16((data[0] << 8) | data[1]));
    Side indexed(RequestAnalyser::Lookup::Indexed, settings);
    Side walk(RequestAnalyser::Lookup::Walk, settings);
    size_t at = 2;
    while (at + 2 <= size) {
        size_t length = (size_t(data[at]) << 8) | data[at + 1];
        at += 2;
        length = std::min(length, size - at);
        const std::unique_ptr<quint8[]> frame(new quint8[length ? length : 1]);
        if (length)
            std::memcpy(frame.get(), data + at, length);
        at += length;
        indexed.analyser.analyse(length ? frame.get() : nullptr, quint16(length));
        walk.analyser.analyse(length ? frame.get() : nullptr, quint16(length));
    }
    compare(indexed, walk);
    return 0;
}
