// Feeds both directions of a TLS connection, cut anywhere, to the TLS reader (records, the
// hellos, handshake messages), and the same bytes to the hello parsers directly. The key log
// holds secrets for the client random the inputs' ClientHellos most often carry (all zero), so
// the protected-record path runs too; what it opens never authenticates, which must end the
// session quietly. Each record: a byte (direction and the length's high bits), a length byte.
#include "wire/HandshakeReader.h"
#include "wire/KeyLog.h"
#include "wire/TlsHello.h"
#include "wire/TlsSession.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

struct Sink final : TlsSession::Receiver
{
    void applicationData(bool, std::span<const std::uint8_t> bytes, WireTime) override { total += bytes.size(); }
    std::size_t total = 0;
};

const KeyLog& keyLog()
{
    static KeyLog log;
    static bool filled = false;
    if (!filled) {
        const std::string random(64, '0');
        for (const char* label : {"CLIENT_RANDOM", "CLIENT_HANDSHAKE_TRAFFIC_SECRET", "SERVER_HANDSHAKE_TRAFFIC_SECRET",
                                  "CLIENT_TRAFFIC_SECRET_0", "SERVER_TRAFFIC_SECRET_0"})
            log.addText(std::string(label) + " " + random + " " + std::string(96, '5') + "\n");
        filled = true;
    }
    return log;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const std::uint8_t> whole(data, size);
    TlsHello::parseClient(whole);
    TlsHello::parseServer(whole);
    HandshakeReader reader(256);
    reader.setWanted(0x6);
    reader.feed(whole, [](std::uint8_t, std::span<const std::uint8_t> body) {
        if (body.size() > 256)
            __builtin_trap();
    });

    WireLimits limits;
    limits.maxBytesAwaitingKey = 8192;
    limits.maxHelloBytes = 4096;
    Sink sink;
    TlsSession session(limits, keyLog(), sink);
    WireTime time = 0;
    while (size >= 2 && !session.failed()) {
        const bool fromClient = (data[0] & 1) == 0;
        const std::size_t length = std::min<std::size_t>(std::size_t(data[0] >> 1) << 8 | data[1], size - 2);
        const std::span<const std::uint8_t> bytes(data + 2, length);
        time += 1000;
        if (fromClient)
            session.clientBytes(bytes, time);
        else
            session.serverBytes(bytes, time);
        if (session.waitingForKey())
            session.retryKeys(time);
        data += 2 + length;
        size -= 2 + length;
    }
    if (sink.total > 0)
        __builtin_trap(); // nothing the fuzzer writes can authenticate
    return 0;
}
