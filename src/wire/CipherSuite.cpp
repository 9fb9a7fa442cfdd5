#include "wire/CipherSuite.h"

namespace {

using Aead = CipherSuite::Aead;
using Hash = CipherSuite::Hash;

constexpr CipherSuite kSuites[] = {
    {0x1301, Aead::Aes128Gcm, Hash::Sha256, true},         // TLS_AES_128_GCM_SHA256
    {0x1302, Aead::Aes256Gcm, Hash::Sha384, true},         // TLS_AES_256_GCM_SHA384
    {0x1303, Aead::ChaCha20Poly1305, Hash::Sha256, true},  // TLS_CHACHA20_POLY1305_SHA256
    {0xC02B, Aead::Aes128Gcm, Hash::Sha256, false},        // ECDHE_ECDSA_WITH_AES_128_GCM_SHA256
    {0xC02F, Aead::Aes128Gcm, Hash::Sha256, false},        // ECDHE_RSA_WITH_AES_128_GCM_SHA256
    {0xC02C, Aead::Aes256Gcm, Hash::Sha384, false},        // ECDHE_ECDSA_WITH_AES_256_GCM_SHA384
    {0xC030, Aead::Aes256Gcm, Hash::Sha384, false},        // ECDHE_RSA_WITH_AES_256_GCM_SHA384
    {0xCCA8, Aead::ChaCha20Poly1305, Hash::Sha256, false}, // ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256
    {0xCCA9, Aead::ChaCha20Poly1305, Hash::Sha256, false}, // ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256
    {0xCCAA, Aead::ChaCha20Poly1305, Hash::Sha256, false}, // DHE_RSA_WITH_CHACHA20_POLY1305_SHA256
    {0x009C, Aead::Aes128Gcm, Hash::Sha256, false},        // RSA_WITH_AES_128_GCM_SHA256
    {0x009D, Aead::Aes256Gcm, Hash::Sha384, false},        // RSA_WITH_AES_256_GCM_SHA384
    {0x009E, Aead::Aes128Gcm, Hash::Sha256, false},        // DHE_RSA_WITH_AES_128_GCM_SHA256
    {0x009F, Aead::Aes256Gcm, Hash::Sha384, false},        // DHE_RSA_WITH_AES_256_GCM_SHA384
};

} // namespace

const CipherSuite* CipherSuite::find(std::uint16_t id, bool tls13)
{
    for (const CipherSuite& suite : kSuites) {
        if (suite.id == id && suite.tls13 == tls13)
            return &suite;
    }
    return nullptr;
}
