#pragma once

#include "wire/CipherSuite.h"
#include "wire/SecretBytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The derivations from logged secrets to record keys, all done by OpenSSL's KDFs: TLS 1.3's
// HKDF-Expand-Label ("TLS13-KDF") and TLS 1.2's PRF ("TLS1-PRF").
namespace KeySchedule {

struct TrafficKeys
{
    SecretBytes key;
    SecretBytes iv;
};

// The key and IV of one TLS 1.3 traffic secret.
std::optional<TrafficKeys> tls13Keys(const CipherSuite& suite, const SecretBytes& trafficSecret);
// The traffic secret that follows a KeyUpdate.
std::optional<SecretBytes> tls13NextSecret(const CipherSuite& suite, const SecretBytes& trafficSecret);

struct Tls12Keys
{
    TrafficKeys client;
    TrafficKeys server;
};

// The client's and the server's write keys of TLS 1.2, from the master secret and both randoms.
std::optional<Tls12Keys> tls12Keys(const CipherSuite& suite,
                                   const SecretBytes& masterSecret,
                                   std::span<const std::uint8_t> clientRandom,
                                   std::span<const std::uint8_t> serverRandom);

} // namespace KeySchedule
