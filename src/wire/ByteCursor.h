#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Reads big-endian fields from a byte range. Every read is checked: past the end it returns an
// empty optional (or an empty span) and the cursor stays where it was.
class ByteCursor final
{
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes)
    {}

    std::size_t remaining() const { return m_bytes.size() - m_at; }
    std::size_t position() const { return m_at; }
    bool atEnd() const { return m_at == m_bytes.size(); }

    std::optional<std::uint32_t> u8() { return number(1); }
    std::optional<std::uint32_t> u16() { return number(2); }
    std::optional<std::uint32_t> u24() { return number(3); }
    std::optional<std::uint32_t> u32() { return number(4); }

    // The next `count` bytes, or nullopt when fewer remain.
    std::optional<std::span<const std::uint8_t>> take(std::size_t count)
    {
        if (count > remaining())
            return std::nullopt;
        const auto part = m_bytes.subspan(m_at, count);
        m_at += count;
        return part;
    }
    bool skip(std::size_t count) { return take(count).has_value(); }
    std::span<const std::uint8_t> rest() const { return m_bytes.subspan(m_at); }

private:
    std::optional<std::uint32_t> number(std::size_t count)
    {
        if (count > remaining())
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i)
            value = (value << 8) | m_bytes[m_at + i];
        m_at += count;
        return value;
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};
