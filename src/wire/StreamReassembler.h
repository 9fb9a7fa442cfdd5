#pragma once

#include "wire/WireLimits.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

// One direction of a TCP connection turned back into its byte stream. Segments are delivered in
// sequence order; bytes already delivered (retransmissions, overlaps) are dropped; a segment
// ahead of the stream waits until the gap before it fills. At most `maxOutOfOrderBytes` wait,
// for at most `gapTimeout`; past that the stream has a gap that will not fill (Status::Gap) and
// must not be read further.
class StreamReassembler final
{
public:
    enum class Status
    {
        Ok,
        Gap,
    };

    using Deliver = std::function<void(std::span<const std::uint8_t>)>;

    StreamReassembler(std::size_t maxOutOfOrderBytes, WireTime gapTimeout);

    bool started() const { return m_started; }
    // The stream's next byte has this sequence number (the SYN's plus one, or a first segment's).
    void start(std::uint32_t nextSequence);

    // One segment's payload; delivers whatever became contiguous, in order. A FIN ends the
    // stream after the payload.
    Status feed(
        std::uint32_t sequence, std::span<const std::uint8_t> payload, bool fin, WireTime time, const Deliver& deliver);
    // Whether an open gap has waited too long.
    Status check(WireTime now) const;

    // Every byte up to the FIN has been delivered.
    bool finished() const { return m_finSeen && m_next == m_finSequence; }
    std::size_t heldBytes() const { return m_heldBytes; }
    std::uint64_t deliveredBytes() const { return m_delivered; }

private:
    void drain(WireTime time, const Deliver& deliver);
    void deliverFrom(std::span<const std::uint8_t> bytes, const Deliver& deliver);

    std::size_t m_maxHeld;
    WireTime m_gapTimeout;
    bool m_started = false;
    std::uint32_t m_next = 0;                                     // sequence number of the next byte to deliver
    std::uint64_t m_delivered = 0;                                // stream offset of that byte
    std::map<std::uint64_t, std::vector<std::uint8_t>> m_waiting; // by stream offset
    std::size_t m_heldBytes = 0;
    WireTime m_gapSince = 0;
    bool m_finSeen = false;
    std::uint32_t m_finSequence = 0;
};
