#pragma once

#include "WireFrames.h"

#include "wire/KeyLog.h"
#include "wire/WireDecoder.h"

#include <vector>

// A decoder with its own key log, keeping every exchange it reports. Frames are fed one
// millisecond apart unless a test moves the clock.
struct DecoderHarness
{
    explicit DecoderHarness(WireLimits limits = {})
        : decoder(keyLog,
                  limits,
                  {[this](const HttpExchange& exchange) { started.push_back(exchange); },
                   [this](const HttpExchange& exchange) { completed.push_back(exchange); }, [this] { ++keysMissing; }})
    {}

    void feed(const Bytes& frame, int linkType = 1)
    {
        time += 1000;
        decoder.feed(linkType, time, frame.data(), frame.size());
    }
    void feed(const std::vector<Bytes>& frames, int linkType = 1)
    {
        for (const Bytes& frame : frames)
            feed(frame, linkType);
    }

    KeyLog keyLog;
    WireDecoder decoder;
    WireTime time = 1'700'000'000'000'000;
    std::vector<HttpExchange> started;
    std::vector<HttpExchange> completed;
    int keysMissing = 0; // times the decoder said a connection's keys never came
};
