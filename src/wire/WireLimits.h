#pragma once

#include <cstddef>
#include <cstdint>

// Microseconds since the epoch: the capture time stamp of the frame being decoded. The decoder
// reads no clock of its own, so a capture file replays exactly as it was recorded.
using WireTime = std::int64_t;

// Every bound of the decoder in one place. Whatever a connection holds is capped by these, so a
// hostile or broken peer costs at most this much memory and time.
struct WireLimits
{
    // Connections tracked at once (decoded or passed over); the least recently active goes first.
    std::size_t maxConnections = 4096;
    // A connection with no frame for this long is forgotten.
    WireTime idleTimeout = 120'000'000;
    // Out-of-order bytes held per direction while a gap is open, and how long a gap may stay
    // open; past either, the connection is no longer decoded.
    std::size_t maxOutOfOrderBytes = 1024 * 1024;
    WireTime gapTimeout = 10'000'000;
    // Encrypted bytes held per direction while the key log does not yet have the connection's
    // secret, and how long they wait for it.
    std::size_t maxBytesAwaitingKey = 512 * 1024;
    WireTime keyWaitTimeout = 15'000'000;
    // While records wait for a secret, the key log file is read again this often (and at once
    // when a connection starts to wait).
    WireTime keyLogPollInterval = 50'000;
    // A handshake message whose content is read (the hellos).
    std::size_t maxHelloBytes = 64 * 1024;
    // HTTP/1.1: a request or response header section; HTTP/2: a decoded header list.
    std::size_t maxHeaderBytes = 64 * 1024;
    // HTTP/2: a compressed header block with its CONTINUATION frames.
    std::size_t maxHeaderBlockBytes = 256 * 1024;
    // HTTP/2 streams open at once, and HTTP/1.1 requests waiting for their responses.
    std::size_t maxOpenExchanges = 256;
    // Plain (unencrypted) HTTP/1.1 and HTTP/2 on ports other than 80 and 8080, which the frame
    // analyser already reads.
    bool plainHttp = true;
    // Port 80 carries plain HTTP, which the frame analyser reads, and TLS there is unheard of: its
    // frames are not even looked up, so the plain path pays no more than a port compare for them.
    bool port80 = false;
};
