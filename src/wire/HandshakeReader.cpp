#include "wire/HandshakeReader.h"

#include <algorithm>

HandshakeReader::HandshakeReader(std::size_t maxBody)
    : m_maxBody(maxBody)
{}

bool HandshakeReader::feed(std::span<const std::uint8_t> bytes, const Handler& handle)
{
    for (;;) {
        if (m_headerHave < 4) {
            if (bytes.empty())
                return true;
            const std::size_t count = std::min(4 - m_headerHave, bytes.size());
            std::copy_n(bytes.begin(), count, m_header + m_headerHave);
            m_headerHave += count;
            bytes = bytes.subspan(count);
            if (m_headerHave < 4)
                return true;
            const std::uint8_t type = m_header[0];
            m_remaining = std::size_t(m_header[1]) << 16 | std::size_t(m_header[2]) << 8 | m_header[3];
            m_keeping = type < 32 && (m_wanted >> type & 1u) != 0;
            if (m_keeping && m_remaining > m_maxBody)
                return false;
            m_body.clear();
        }
        const std::size_t count = std::min(m_remaining, bytes.size());
        if (m_keeping)
            m_body.insert(m_body.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(count));
        m_remaining -= count;
        bytes = bytes.subspan(count);
        if (m_remaining > 0)
            return true; // the bytes ran out inside the body
        m_headerHave = 0;
        handle(m_header[0], m_keeping ? std::span<const std::uint8_t>(m_body) : std::span<const std::uint8_t>());
    }
}
