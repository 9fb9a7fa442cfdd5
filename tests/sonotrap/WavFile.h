#pragma once

#include <string>
#include <vector>

// A recorded WAV file as the tests measure it: the first channel as numbers, the rate and the
// duration that the data chunk holds.
struct WavFile
{
    bool valid = false;
    unsigned rate = 0;
    unsigned channels = 0;
    unsigned bits = 0;
    double seconds = 0;
    std::vector<double> samples; // first channel, full scale 1.0

    static WavFile read(const std::string& path);
};

// A stretch of the recording, in seconds.
struct Span
{
    double start = 0;
    double end = 0;
    double length() const { return end - start; }
};

// Stretches louder than threshold (RMS over 20 ms windows), gaps of silence between them.
std::vector<Span> loudSpans(const WavFile& wav, double threshold = 0.02);
// Zero-crossing frequency of the first channel between two times.
double frequencyIn(const WavFile& wav, const Span& span);
// Largest RMS of a 20 ms window between two times.
double loudestIn(const WavFile& wav, const Span& span);
