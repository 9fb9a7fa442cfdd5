#include "wire/RecordCipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>

namespace {

const EVP_CIPHER* cipherOf(const CipherSuite& suite)
{
    switch (suite.aead) {
    case CipherSuite::Aead::Aes128Gcm:
        return EVP_aes_128_gcm();
    case CipherSuite::Aead::Aes256Gcm:
        return EVP_aes_256_gcm();
    case CipherSuite::Aead::ChaCha20Poly1305:
        return EVP_chacha20_poly1305();
    }
    return nullptr;
}

} // namespace

void RecordCipher::ContextFree::operator()(evp_cipher_ctx_st* context) const
{
    EVP_CIPHER_CTX_free(context);
}

RecordCipher::RecordCipher(const CipherSuite& suite, const KeySchedule::TrafficKeys& keys)
    : m_suite(suite)
{
    if (keys.key.size() != suite.keyLength() || keys.iv.size() != suite.fixedIvLength())
        return;
    std::unique_ptr<evp_cipher_ctx_st, ContextFree> context(EVP_CIPHER_CTX_new());
    if (!context || EVP_DecryptInit_ex(context.get(), cipherOf(suite), nullptr, keys.key.bytes().data(), nullptr) != 1)
        return;
    std::copy(keys.iv.bytes().begin(), keys.iv.bytes().end(), m_iv.begin());
    m_context = std::move(context);
}

RecordCipher::~RecordCipher()
{
    OPENSSL_cleanse(m_iv.data(), m_iv.size());
}

std::optional<std::size_t>
RecordCipher::open(std::span<const std::uint8_t> header, std::span<const std::uint8_t> payload, std::uint8_t* out)
{
    const std::size_t explicitLength = m_suite.explicitNonceLength();
    if (!m_context || header.size() != 5 || payload.size() < explicitLength + kTagLength)
        return std::nullopt;
    const std::size_t plainLength = payload.size() - explicitLength - kTagLength;

    std::array<std::uint8_t, 12> nonce{};
    if (explicitLength > 0) { // TLS 1.2 GCM: the 4-byte salt, then the record's own 8 bytes
        std::copy_n(m_iv.begin(), 4, nonce.begin());
        std::copy_n(payload.begin(), 8, nonce.begin() + 4);
    } else { // the IV with the sequence number XORed into its last 8 bytes
        nonce = m_iv;
        for (int i = 0; i < 8; ++i)
            nonce[11 - i] ^= std::uint8_t(m_sequence >> (8 * i));
    }

    std::array<std::uint8_t, 13> aad{};
    std::size_t aadLength = 0;
    if (m_suite.tls13) { // the record header itself
        std::copy(header.begin(), header.end(), aad.begin());
        aadLength = 5;
    } else { // sequence number, type, version, plaintext length
        for (int i = 0; i < 8; ++i)
            aad[std::size_t(i)] = std::uint8_t(m_sequence >> (56 - 8 * i));
        aad[8] = header[0];
        aad[9] = header[1];
        aad[10] = header[2];
        aad[11] = std::uint8_t(plainLength >> 8);
        aad[12] = std::uint8_t(plainLength);
        aadLength = 13;
    }

    EVP_CIPHER_CTX* context = m_context.get();
    std::array<std::uint8_t, kTagLength> tag{};
    std::copy_n(payload.end() - kTagLength, kTagLength, tag.begin());
    int length = 0;
    int finalLength = 0;
    const bool ok = EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr, nonce.data()) == 1 &&
                    EVP_DecryptUpdate(context, nullptr, &length, aad.data(), int(aadLength)) == 1 &&
                    EVP_DecryptUpdate(context, out, &length, payload.data() + explicitLength, int(plainLength)) == 1 &&
                    EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_TAG, int(kTagLength), tag.data()) == 1 &&
                    EVP_DecryptFinal_ex(context, out + length, &finalLength) == 1;
    if (!ok)
        return std::nullopt;
    ++m_sequence;
    return plainLength;
}
