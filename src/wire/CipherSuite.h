#pragma once

#include <cstddef>
#include <cstdint>

// The TLS cipher suites whose records can be read: AEAD ciphers only (TLS 1.3, and the GCM and
// ChaCha20-Poly1305 suites of TLS 1.2).
struct CipherSuite
{
    enum class Aead
    {
        Aes128Gcm,
        Aes256Gcm,
        ChaCha20Poly1305,
    };
    enum class Hash
    {
        Sha256,
        Sha384,
    };

    std::uint16_t id = 0;
    Aead aead = Aead::Aes128Gcm;
    Hash hash = Hash::Sha256;
    bool tls13 = false;

    std::size_t keyLength() const { return aead == Aead::Aes128Gcm ? 16 : 32; }
    std::size_t hashLength() const { return hash == Hash::Sha256 ? 32 : 48; }
    // The IV taken from the key schedule: 12 bytes, except TLS 1.2 GCM's 4-byte salt.
    std::size_t fixedIvLength() const { return !tls13 && aead != Aead::ChaCha20Poly1305 ? 4 : 12; }
    // TLS 1.2 GCM records start with an 8-byte explicit nonce.
    std::size_t explicitNonceLength() const { return fixedIvLength() == 4 ? 8 : 0; }

    // The suite of that number for that version, or nullptr when it cannot be read.
    static const CipherSuite* find(std::uint16_t id, bool tls13);
};
