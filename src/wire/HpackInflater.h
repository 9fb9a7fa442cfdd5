#pragma once

#include "wire/HttpExchange.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct nghttp2_hd_inflater;

// One direction's HPACK decoder (libnghttp2's inflater), which keeps the dynamic table across
// header blocks. Every block must go through it, even when its fields are not wanted, or the
// table falls out of step.
class HpackInflater final
{
public:
    // The largest dynamic table a peer may switch to (a browser asks for 64 KiB).
    static constexpr std::size_t kMaxTableSize = 64 * 1024;

    HpackInflater();
    ~HpackInflater();
    HpackInflater(const HpackInflater&) = delete;
    HpackInflater& operator=(const HpackInflater&) = delete;

    bool valid() const { return m_inflater != nullptr; }

    // Decodes one complete header block. Fields beyond `maxListBytes` (name + value + 32 each,
    // as HTTP/2 counts them) are decoded but not kept, and `truncated` is set. Returns false
    // when the block is malformed; the inflater cannot be used after that.
    bool inflate(std::span<const std::uint8_t> block,
                 std::size_t maxListBytes,
                 std::vector<HttpHeader>& fields,
                 bool& truncated);

private:
    nghttp2_hd_inflater* m_inflater = nullptr;
};
