#include "wire/TlsHello.h"

#include "wire/ByteCursor.h"

#include <algorithm>

namespace TlsHello {
namespace {

constexpr std::uint16_t kServerName = 0;
constexpr std::uint16_t kSupportedVersions = 43;

// SHA-256 of "HelloRetryRequest": the random a HelloRetryRequest carries.
constexpr std::array<std::uint8_t, 32> kRetryRandom = {0xCF, 0x21, 0xAD, 0x74, 0xE5, 0x9A, 0x61, 0x11, 0xBE, 0x1D, 0x8C,
                                                       0x02, 0x1E, 0x65, 0xB8, 0x91, 0xC2, 0xA2, 0x11, 0x16, 0x7A, 0xBB,
                                                       0x8C, 0x5E, 0x07, 0x9E, 0x09, 0xE2, 0xC8, 0xA8, 0x33, 0x9C};

bool readRandom(ByteCursor& cursor, std::array<std::uint8_t, 32>& random)
{
    const auto bytes = cursor.take(32);
    if (!bytes)
        return false;
    std::copy(bytes->begin(), bytes->end(), random.begin());
    return true;
}

bool skipVector8(ByteCursor& cursor)
{
    const auto length = cursor.u8();
    return length && cursor.skip(*length);
}

bool skipVector16(ByteCursor& cursor)
{
    const auto length = cursor.u16();
    return length && cursor.skip(*length);
}

std::string serverName(std::span<const std::uint8_t> data)
{
    ByteCursor cursor(data);
    const auto listLength = cursor.u16();
    if (!listLength)
        return {};
    ByteCursor list(cursor.rest().first(std::min<std::size_t>(*listLength, cursor.remaining())));
    while (!list.atEnd()) {
        const auto type = list.u8();
        const auto length = list.u16();
        const auto name = length ? list.take(*length) : std::nullopt;
        if (!type || !name)
            return {};
        if (*type == 0 && name->size() <= 255)
            return std::string(name->begin(), name->end());
    }
    return {};
}

// Calls `handle(type, data)` for each extension; false when the list is malformed.
template <typename Handler> bool forEachExtension(ByteCursor& cursor, Handler&& handle)
{
    if (cursor.atEnd())
        return true; // no extensions at all
    const auto total = cursor.u16();
    const auto block = total ? cursor.take(*total) : std::nullopt;
    if (!block)
        return false;
    ByteCursor extensions(*block);
    while (!extensions.atEnd()) {
        const auto type = extensions.u16();
        const auto length = extensions.u16();
        const auto data = length ? extensions.take(*length) : std::nullopt;
        if (!type || !data)
            return false;
        handle(std::uint16_t(*type), *data);
    }
    return true;
}

} // namespace

std::optional<Client> parseClient(std::span<const std::uint8_t> body)
{
    ByteCursor cursor(body);
    Client hello;
    if (!cursor.skip(2) || !readRandom(cursor, hello.random) || !skipVector8(cursor) || !skipVector16(cursor) ||
        !skipVector8(cursor))
        return std::nullopt;
    const bool ok = forEachExtension(cursor, [&hello](std::uint16_t type, std::span<const std::uint8_t> data) {
        if (type == kServerName && hello.serverName.empty())
            hello.serverName = serverName(data);
    });
    if (!ok)
        return std::nullopt;
    return hello;
}

std::optional<Server> parseServer(std::span<const std::uint8_t> body)
{
    ByteCursor cursor(body);
    Server hello;
    const auto legacyVersion = cursor.u16();
    if (!legacyVersion || !readRandom(cursor, hello.random) || !skipVector8(cursor))
        return std::nullopt;
    const auto suite = cursor.u16();
    if (!suite || !cursor.skip(1))
        return std::nullopt;
    hello.version = std::uint16_t(*legacyVersion);
    hello.cipherSuite = std::uint16_t(*suite);
    hello.retryRequest = hello.random == kRetryRandom;
    const bool ok = forEachExtension(cursor, [&hello](std::uint16_t type, std::span<const std::uint8_t> data) {
        if (type == kSupportedVersions && data.size() == 2)
            hello.version = std::uint16_t(data[0] << 8 | data[1]);
    });
    if (!ok)
        return std::nullopt;
    return hello;
}

} // namespace TlsHello
