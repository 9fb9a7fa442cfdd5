#pragma once

#include "wire/CipherSuite.h"
#include "wire/KeySchedule.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

struct evp_cipher_ctx_st;

// Opens the protected records of one direction with one set of keys (OpenSSL's AEAD ciphers),
// counting the record sequence number itself. The keys live in the OpenSSL context, which
// wipes them when it is freed.
class RecordCipher final
{
public:
    static constexpr std::size_t kTagLength = 16;

    RecordCipher(const CipherSuite& suite, const KeySchedule::TrafficKeys& keys);
    ~RecordCipher();
    RecordCipher(const RecordCipher&) = delete;
    RecordCipher& operator=(const RecordCipher&) = delete;

    bool valid() const { return m_context != nullptr; }

    // Decrypts one record. `header` is its 5-byte header as sent, `payload` what follows it.
    // Returns the plaintext's length in `out` (which must hold payload.size() bytes), or nullopt
    // when the record does not authenticate. The sequence number advances on success only.
    std::optional<std::size_t>
    open(std::span<const std::uint8_t> header, std::span<const std::uint8_t> payload, std::uint8_t* out);

    std::uint64_t sequence() const { return m_sequence; }

private:
    struct ContextFree
    {
        void operator()(evp_cipher_ctx_st* context) const;
    };

    const CipherSuite& m_suite;
    std::unique_ptr<evp_cipher_ctx_st, ContextFree> m_context;
    std::array<std::uint8_t, 12> m_iv{};
    std::uint64_t m_sequence = 0;
};
