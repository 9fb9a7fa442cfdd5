#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The two handshake messages whose content the decoder needs, read from their bodies (the bytes
// after the 4-byte handshake header).
namespace TlsHello {

struct Client
{
    std::array<std::uint8_t, 32> random{};
    std::string serverName; // the SNI host name, empty when absent; at most 255 bytes
};

struct Server
{
    std::array<std::uint8_t, 32> random{};
    std::uint16_t version = 0; // negotiated: supported_versions when present, else legacy_version
    std::uint16_t cipherSuite = 0;
    bool retryRequest = false; // a HelloRetryRequest: the real ServerHello is still to come
};

std::optional<Client> parseClient(std::span<const std::uint8_t> body);
std::optional<Server> parseServer(std::span<const std::uint8_t> body);

} // namespace TlsHello
