#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Key material of at most 64 bytes, wiped (OPENSSL_cleanse) when it is replaced or destroyed.
// It has no text form: nothing can print it by accident.
class SecretBytes final
{
public:
    static constexpr std::size_t kCapacity = 64;

    SecretBytes() = default;
    explicit SecretBytes(std::span<const std::uint8_t> bytes);
    SecretBytes(const SecretBytes& other);
    SecretBytes& operator=(const SecretBytes& other);
    ~SecretBytes();

    bool empty() const { return m_size == 0; }
    std::size_t size() const { return m_size; }
    std::span<const std::uint8_t> bytes() const { return {m_bytes.data(), m_size}; }
    void clear();

private:
    std::array<std::uint8_t, kCapacity> m_bytes{};
    std::size_t m_size = 0;
};
