#include "wire/HpackInflater.h"

#include <nghttp2/nghttp2.h>

HpackInflater::HpackInflater()
{
    if (nghttp2_hd_inflate_new(&m_inflater) != 0) {
        m_inflater = nullptr;
        return;
    }
    nghttp2_hd_inflate_change_table_size(m_inflater, kMaxTableSize);
}

HpackInflater::~HpackInflater()
{
    if (m_inflater)
        nghttp2_hd_inflate_del(m_inflater);
}

bool HpackInflater::inflate(std::span<const std::uint8_t> block,
                            std::size_t maxListBytes,
                            std::vector<HttpHeader>& fields,
                            bool& truncated)
{
    if (!m_inflater)
        return false;
    std::size_t listBytes = 0;
    for (;;) {
        nghttp2_nv field;
        int flags = 0;
        const ssize_t read = nghttp2_hd_inflate_hd2(m_inflater, &field, &flags, block.data(), block.size(), 1);
        if (read < 0) {
            nghttp2_hd_inflate_del(m_inflater);
            m_inflater = nullptr;
            return false;
        }
        block = block.subspan(std::size_t(read));
        if (flags & NGHTTP2_HD_INFLATE_EMIT) {
            listBytes += field.namelen + field.valuelen + 32;
            if (listBytes > maxListBytes)
                truncated = true;
            else
                fields.push_back({std::string(reinterpret_cast<const char*>(field.name), field.namelen),
                                  std::string(reinterpret_cast<const char*>(field.value), field.valuelen)});
        }
        if (flags & NGHTTP2_HD_INFLATE_FINAL) {
            nghttp2_hd_inflate_end_headers(m_inflater);
            return true;
        }
        if (read == 0 && !(flags & NGHTTP2_HD_INFLATE_EMIT))
            return false; // no progress on a final block: cannot happen, but never loop
    }
}
