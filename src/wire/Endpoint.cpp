#include "wire/Endpoint.h"

#include <arpa/inet.h>

#include <cstring>
#include <tuple>

std::string Endpoint::toString() const
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(v6 ? AF_INET6 : AF_INET, address.data(), text, sizeof text);
    const std::string port_ = std::to_string(port);
    return v6 ? "[" + std::string(text) + "]:" + port_ : std::string(text) + ":" + port_;
}

ConnectionKey ConnectionKey::of(const Endpoint& a, const Endpoint& b)
{
    const bool aFirst = std::tie(a.address, a.port) < std::tie(b.address, b.port);
    return aFirst ? ConnectionKey{a, b} : ConnectionKey{b, a};
}

std::size_t ConnectionKeyHash::operator()(const ConnectionKey& key) const
{
    // FNV-1a over the fields that vary; both addresses and ports.
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            hash ^= bytes[i];
            hash *= 1099511628211ull;
        }
    };
    const std::size_t addressBytes = key.low.v6 ? 16 : 4;
    mix(key.low.address.data(), addressBytes);
    mix(key.high.address.data(), addressBytes);
    const std::uint8_t ports[4] = {std::uint8_t(key.low.port >> 8), std::uint8_t(key.low.port),
                                   std::uint8_t(key.high.port >> 8), std::uint8_t(key.high.port)};
    mix(ports, sizeof ports);
    return std::size_t(hash);
}
