#pragma once

#include "wire/ExchangeSink.h"
#include "wire/WireLimits.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class KeyLog;

// Turns captured frames into HTTP exchanges: TCP reassembly per connection and direction, TLS
// decryption with the secrets of a key log, and HTTP/1.1 and HTTP/2 messages. Connections that
// do not open with a TLS ClientHello (or, with WireLimits::plainHttp, a plain HTTP request on a
// port other than 80 and 8080) are remembered as passed over and cost one lookup per frame;
// port 80 is not looked up at all (WireLimits::port80).
// Not thread-safe: one thread feeds it; the sink is called from feed().
//
// Use: a KeyLog following the key log file (setFile), a WireDecoder over it, then feed() with
// every captured frame, its pcap link type and capture time; finish() when the capture ends.
// The decoder reads the key log file itself whenever records wait for a secret.
class WireDecoder final
{
public:
    // pcap link types understood by feed().
    enum LinkType : int
    {
        LinkNull = 0,         // BSD loopback: a 4-byte address family in host order
        LinkEthernet = 1,     // with or without 802.1Q tags
        LinkRaw = 101,        // IPv4 or IPv6, no link header
        LinkLinuxCooked = 113 // Linux "any" device
    };

    struct Statistics
    {
        std::uint64_t frames = 0;
        std::uint64_t tcpFrames = 0;
        std::size_t connections = 0; // tracked now
        std::uint64_t decryptedRecords = 0;
        std::uint64_t exchanges = 0;
        std::uint64_t connectionsAbandoned = 0; // gaps, bounds, keys that never came
        std::uint64_t tlsConnections = 0;       // opened with a ClientHello
        // TLS connections given up (or ended) while waiting for a secret the key log never had:
        // a browser that does not write the key log shows here.
        std::uint64_t keysMissing = 0;
    };

    WireDecoder(KeyLog& keyLog, WireLimits limits, ExchangeSink sink);
    ~WireDecoder();
    WireDecoder(const WireDecoder&) = delete;
    WireDecoder& operator=(const WireDecoder&) = delete;

    // One captured frame of the given link type. `length` is the number of bytes captured.
    void feed(int linkType, WireTime time, const std::uint8_t* frame, std::size_t length);

    // Ends every connection (the capture stopped): exchanges still open are completed.
    void finish();

    Statistics statistics() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
