#pragma once

#include "wire/WireLimits.h"

#include <cstdint>
#include <span>

// The HTTP reader of one connection, fed the plain bytes of both directions in order.
class HttpReader
{
public:
    virtual ~HttpReader() = default;
    virtual void clientBytes(std::span<const std::uint8_t> bytes, WireTime time) = 0;
    virtual void serverBytes(std::span<const std::uint8_t> bytes, WireTime time) = 0;
    // The connection ended (closed: both sides finished or reset; otherwise decoding stopped):
    // every exchange whose response started is completed.
    virtual void end(bool closed) = 0;
    bool failed() const { return m_failed; }

protected:
    bool m_failed = false;
};
