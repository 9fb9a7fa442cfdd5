// Feeds key log text, cut at the input's 0xFF bytes as reads of a growing file would cut it, to
// the key log reader; the same text whole must give the same secrets.
#include "wire/KeyLog.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    KeyLog pieces;
    std::string whole;
    std::size_t added = 0;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at == text.size() || text[at] == '\xFF') {
            const std::string_view piece = text.substr(start, at - start);
            added += pieces.addText(piece);
            whole.append(piece);
            start = at + 1;
        }
    }
    KeyLog once;
    if (once.addText(whole) != added || once.entryCount() != pieces.entryCount() ||
        pieces.entryCount() > KeyLog::kMaxEntries)
        __builtin_trap();
    return 0;
}
