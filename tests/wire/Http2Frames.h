#pragma once

#include "WireFrames.h"

#include <nghttp2/nghttp2.h>

#include <string>
#include <utility>
#include <vector>

using Fields = std::vector<std::pair<std::string, std::string>>;

// Writes HTTP/2 frames for one direction; header blocks come from libnghttp2's HPACK deflater,
// which indexes what it has sent before in its dynamic table.
class Http2Frames final
{
public:
    enum Type : std::uint8_t
    {
        Data = 0,
        Headers = 1,
        Priority = 2,
        RstStream = 3,
        Settings = 4,
        PushPromise = 5,
        Ping = 6,
        GoAway = 7,
        WindowUpdate = 8,
        Continuation = 9,
    };

    Http2Frames();
    ~Http2Frames();

    static Bytes preface();
    static Bytes
    frame(std::uint8_t type, std::uint8_t flags, std::uint32_t stream, std::span<const std::uint8_t> payload);
    Bytes block(const Fields& fields);
    // A HEADERS frame carrying the whole block (END_HEADERS).
    Bytes headers(std::uint32_t stream, const Fields& fields, bool endStream);

private:
    nghttp2_hd_deflater* m_deflater = nullptr;
};

Bytes operator+(Bytes a, const Bytes& b);
