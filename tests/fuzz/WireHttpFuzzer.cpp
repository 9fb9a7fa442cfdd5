// Feeds both directions of a plain connection, cut anywhere, to the HTTP reader: HTTP/2 frames
// (with HPACK through libnghttp2) when the client's bytes open with the preface, else HTTP/1.1.
// Each record: a byte (direction and the length's high bits), a length byte, the bytes. Every
// reported exchange must respect the bounds.
#include "wire/HttpConnection.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WireLimits limits;
    limits.maxHeaderBytes = 1024;
    limits.maxHeaderBlockBytes = 2048;
    limits.maxOpenExchanges = 16;
    std::size_t open = 0;
    const auto check = [&limits](const HttpExchange& exchange) {
        std::size_t bytes = 0;
        for (const auto* list : {&exchange.requestHeaders, &exchange.responseHeaders})
            for (const HttpHeader& header : *list)
                bytes += header.name.size() + header.value.size();
        // Each list is bounded; the request's cookie crumbs are joined with "; " per crumb.
        if (bytes > 4 * limits.maxHeaderBytes || exchange.status < 100)
            __builtin_trap();
    };
    ExchangeSink sink{[&](const HttpExchange& exchange) {
                          check(exchange);
                          ++open;
                      },
                      [&](const HttpExchange& exchange) {
                          check(exchange);
                          if (open == 0)
                              __builtin_trap(); // completed without having started
                          --open;
                      }};
    std::uint64_t nextId = 0;
    HttpConnection connection(limits, sink, nextId, {});
    while (size >= 2) {
        const bool fromClient = (data[0] & 1) == 0;
        const std::size_t length = std::min<std::size_t>(std::size_t(data[0] >> 1) << 8 | data[1], size - 2);
        const std::span<const std::uint8_t> bytes(data + 2, length);
        if (fromClient)
            connection.clientBytes(bytes, 0);
        else
            connection.serverBytes(bytes, 0);
        data += 2 + length;
        size -= 2 + length;
    }
    connection.end(true);
    if (open != 0)
        __builtin_trap(); // every started exchange is completed at the end
    return 0;
}
