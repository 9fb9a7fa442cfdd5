#include "WavFile.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr double WindowSeconds = 0.02;

double windowRms(const WavFile& wav, size_t first, size_t count)
{
    double sum = 0;
    for (size_t i = first; i < first + count && i < wav.samples.size(); ++i)
        sum += wav.samples[i] * wav.samples[i];
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0;
}

} // namespace

WavFile WavFile::read(const std::string& path)
{
    WavFile wav;
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return wav;
    size_t at = 12;
    unsigned format = 0;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = le32(&bytes[at + 4]);
        const size_t body = at + 8;
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && body + 16 <= bytes.size()) {
            format = le16(&bytes[body]);
            wav.channels = le16(&bytes[body + 2]);
            wav.rate = le32(&bytes[body + 4]);
            wav.bits = le16(&bytes[body + 14]);
        } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const size_t available = bytes.size() - body;
            const size_t length = size < available ? size : available;
            const unsigned frameBytes = wav.channels * wav.bits / 8;
            if (format != 1 || frameBytes == 0 || wav.rate == 0)
                return wav;
            const size_t frames = length / frameBytes;
            wav.samples.reserve(frames);
            for (size_t f = 0; f < frames; ++f) {
                const unsigned char* p = &bytes[body + f * frameBytes];
                if (wav.bits == 8)
                    wav.samples.push_back((p[0] - 128) / 128.0);
                else if (wav.bits == 16)
                    wav.samples.push_back(static_cast<int16_t>(le16(p)) / 32768.0);
                else if (wav.bits == 32)
                    wav.samples.push_back(static_cast<int32_t>(le32(p)) / 2147483648.0);
            }
            wav.seconds = static_cast<double>(frames) / wav.rate;
            wav.valid = true;
            return wav;
        }
        at = body + size + (size & 1);
    }
    return wav;
}

std::vector<Span> loudSpans(const WavFile& wav, double threshold)
{
    std::vector<Span> spans;
    const size_t window = static_cast<size_t>(wav.rate * WindowSeconds);
    if (window == 0)
        return spans;
    bool inside = false;
    for (size_t first = 0; first + window <= wav.samples.size(); first += window) {
        const bool loud = windowRms(wav, first, window) > threshold;
        const double time = static_cast<double>(first) / wav.rate;
        if (loud && !inside)
            spans.push_back({time, time});
        if (loud)
            spans.back().end = time + WindowSeconds;
        inside = loud;
    }
    return spans;
}

double frequencyIn(const WavFile& wav, const Span& span)
{
    const size_t first = static_cast<size_t>(span.start * wav.rate) + 1;
    const size_t last = static_cast<size_t>(span.end * wav.rate);
    long firstCrossing = -1;
    long lastCrossing = -1;
    long crossings = 0;
    for (size_t i = first; i < last && i < wav.samples.size(); ++i) {
        if (wav.samples[i - 1] < 0 && wav.samples[i] >= 0) {
            if (firstCrossing < 0)
                firstCrossing = static_cast<long>(i);
            lastCrossing = static_cast<long>(i);
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return (crossings - 1) * static_cast<double>(wav.rate) / static_cast<double>(lastCrossing - firstCrossing);
}

double loudestIn(const WavFile& wav, const Span& span)
{
    const size_t window = static_cast<size_t>(wav.rate * WindowSeconds);
    double loudest = 0;
    for (double t = span.start; t + WindowSeconds <= span.end; t += WindowSeconds)
        loudest = std::fmax(loudest, windowRms(wav, static_cast<size_t>(t * wav.rate), window));
    return loudest;
}
