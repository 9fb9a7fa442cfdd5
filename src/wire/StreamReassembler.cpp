#include "wire/StreamReassembler.h"

StreamReassembler::StreamReassembler(std::size_t maxOutOfOrderBytes, WireTime gapTimeout)
    : m_maxHeld(maxOutOfOrderBytes)
    , m_gapTimeout(gapTimeout)
{}

void StreamReassembler::start(std::uint32_t nextSequence)
{
    m_started = true;
    m_next = nextSequence;
}

StreamReassembler::Status StreamReassembler::feed(
    std::uint32_t sequence, std::span<const std::uint8_t> payload, bool fin, WireTime time, const Deliver& deliver)
{
    if (!m_started)
        start(sequence);
    if (fin && !m_finSeen) {
        m_finSeen = true;
        m_finSequence = sequence + std::uint32_t(payload.size());
    }
    if (payload.empty())
        return Status::Ok;
    // Distance from the next expected byte, with sequence numbers wrapping at 2^32.
    const std::int64_t ahead = std::int32_t(sequence - m_next);
    if (ahead <= 0) {
        const std::size_t known = std::size_t(-ahead);
        if (known >= payload.size())
            return Status::Ok; // a retransmission of delivered bytes
        deliverFrom(payload.subspan(known), deliver);
        drain(time, deliver);
        return Status::Ok;
    }
    if (std::size_t(ahead) > m_maxHeld || m_heldBytes + payload.size() > m_maxHeld)
        return Status::Gap;
    const std::uint64_t offset = m_delivered + std::uint64_t(ahead);
    auto [it, inserted] = m_waiting.try_emplace(offset);
    if (!inserted && it->second.size() >= payload.size())
        return Status::Ok; // the same segment again
    if (m_waiting.size() == 1 && inserted)
        m_gapSince = time;
    m_heldBytes -= it->second.size();
    it->second.assign(payload.begin(), payload.end());
    m_heldBytes += payload.size();
    return Status::Ok;
}

StreamReassembler::Status StreamReassembler::check(WireTime now) const
{
    return !m_waiting.empty() && now - m_gapSince > m_gapTimeout ? Status::Gap : Status::Ok;
}

void StreamReassembler::deliverFrom(std::span<const std::uint8_t> bytes, const Deliver& deliver)
{
    m_next += std::uint32_t(bytes.size());
    m_delivered += bytes.size();
    deliver(bytes);
}

void StreamReassembler::drain(WireTime time, const Deliver& deliver)
{
    while (!m_waiting.empty() && m_waiting.begin()->first <= m_delivered) {
        auto node = m_waiting.extract(m_waiting.begin());
        const std::vector<std::uint8_t>& bytes = node.mapped();
        m_heldBytes -= bytes.size();
        const std::uint64_t end = node.key() + bytes.size();
        if (end > m_delivered)
            deliverFrom(std::span(bytes).subspan(std::size_t(m_delivered - node.key())), deliver);
    }
    // Progress was made: whatever still waits is waiting for a newer gap.
    if (!m_waiting.empty())
        m_gapSince = time;
}
