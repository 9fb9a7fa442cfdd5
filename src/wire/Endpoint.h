#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// One side of a TCP connection. IPv4 addresses are kept in the first four bytes.
struct Endpoint
{
    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;
    bool v6 = false;

    bool operator==(const Endpoint&) const = default;
    // "127.0.0.1:443" or "[::1]:443".
    std::string toString() const;
};

// The two sides of a connection in a fixed order (the lower endpoint first), so both
// directions of a connection find the same entry.
struct ConnectionKey
{
    Endpoint low;
    Endpoint high;

    bool operator==(const ConnectionKey&) const = default;
    static ConnectionKey of(const Endpoint& a, const Endpoint& b);
};

struct ConnectionKeyHash
{
    std::size_t operator()(const ConnectionKey& key) const;
};
