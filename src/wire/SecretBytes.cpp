#include "wire/SecretBytes.h"

#include <openssl/crypto.h>

#include <algorithm>

SecretBytes::SecretBytes(std::span<const std::uint8_t> bytes)
{
    m_size = std::min(bytes.size(), kCapacity);
    std::copy_n(bytes.begin(), m_size, m_bytes.begin());
}

SecretBytes::SecretBytes(const SecretBytes& other)
    : m_bytes(other.m_bytes)
    , m_size(other.m_size)
{}

SecretBytes& SecretBytes::operator=(const SecretBytes& other)
{
    if (this != &other) {
        clear();
        m_bytes = other.m_bytes;
        m_size = other.m_size;
    }
    return *this;
}

SecretBytes::~SecretBytes()
{
    clear();
}

void SecretBytes::clear()
{
    OPENSSL_cleanse(m_bytes.data(), m_bytes.size());
    m_size = 0;
}
