// Feeds segments of two TCP connections, in any order, with any flags, sequence numbers and
// payloads, to the wire decoder: reassembly, the choice of what a stream carries, and HTTP on
// top. Each record: a flags byte, a sequence offset (16 bits), a length byte, then the payload.
#include "wire/KeyLog.h"
#include "wire/WireDecoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

std::vector<std::uint8_t> frame(bool fromClient,
                                bool second,
                                std::uint32_t sequence,
                                std::uint8_t flags,
                                const std::uint8_t* payload,
                                std::size_t length)
{
    std::vector<std::uint8_t> out = {0x45, 0};
    put16(out, std::uint32_t(40 + length));
    out.insert(out.end(), {0, 0, 0x40, 0, 64, 6, 0, 0});
    const std::uint8_t client[4] = {10, 0, 0, std::uint8_t(second ? 3 : 2)};
    const std::uint8_t server[4] = {10, 0, 0, 1};
    out.insert(out.end(), fromClient ? client : server, (fromClient ? client : server) + 4);
    out.insert(out.end(), fromClient ? server : client, (fromClient ? server : client) + 4);
    put16(out, fromClient ? 40000 : 8000);
    put16(out, fromClient ? 8000 : 40000);
    put16(out, sequence >> 16);
    put16(out, sequence & 0xFFFF);
    out.insert(out.end(), {0, 0, 0, 1, 0x50, flags, 0xFF, 0xFF, 0, 0, 0, 0});
    out.insert(out.end(), payload, payload + length);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KeyLog keyLog;
    WireLimits limits;
    limits.maxConnections = 8;
    limits.maxOutOfOrderBytes = 4096;
    limits.maxHeaderBytes = 2048;
    limits.maxHeaderBlockBytes = 4096;
    limits.maxOpenExchanges = 8;
    std::size_t reported = 0;
    WireDecoder decoder(keyLog, limits, {[&reported](const HttpExchange&) { ++reported; }, [](const HttpExchange&) {}});
    WireTime time = 1'000'000;
    while (size >= 4) {
        const std::uint8_t control = data[0];
        const std::uint32_t offset = std::uint32_t(data[1]) << 8 | data[2];
        const std::size_t length = std::min<std::size_t>(data[3], size - 4);
        // The low bits are TCP flags (FIN, SYN, RST); the high ones choose side and connection.
        const std::uint8_t flags = std::uint8_t((control & 0x07) | 0x10);
        const bool fromClient = (control & 0x80) == 0;
        const bool second = (control & 0x40) != 0;
        const std::uint32_t base = fromClient ? 1000 : 0xFFFFFF00u;
        const auto bytes = frame(fromClient, second, base + offset, flags, data + 4, length);
        time += (control & 0x20) ? 20'000'000 : 1000;
        decoder.feed(101, time, bytes.data(), bytes.size());
        data += 4 + length;
        size -= 4 + length;
    }
    if (decoder.statistics().connections > limits.maxConnections)
        __builtin_trap();
    decoder.finish();
    return 0;
}
