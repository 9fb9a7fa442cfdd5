#include "Http2Frames.h"

Http2Frames::Http2Frames()
{
    nghttp2_hd_deflate_new(&m_deflater, 4096);
}

Http2Frames::~Http2Frames()
{
    nghttp2_hd_deflate_del(m_deflater);
}

Bytes Http2Frames::preface()
{
    return bytesOf("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") + frame(Settings, 0, 0, {});
}

Bytes Http2Frames::frame(std::uint8_t type,
                         std::uint8_t flags,
                         std::uint32_t stream,
                         std::span<const std::uint8_t> payload)
{
    Bytes out(9 + payload.size());
    const std::size_t length = payload.size();
    const std::uint8_t header[9] = {std::uint8_t(length >> 16),
                                    std::uint8_t(length >> 8),
                                    std::uint8_t(length),
                                    type,
                                    flags,
                                    std::uint8_t(stream >> 24),
                                    std::uint8_t(stream >> 16),
                                    std::uint8_t(stream >> 8),
                                    std::uint8_t(stream)};
    std::copy(header, header + 9, out.begin());
    std::copy(payload.begin(), payload.end(), out.begin() + 9);
    return out;
}

Bytes Http2Frames::block(const Fields& fields)
{
    std::vector<nghttp2_nv> list;
    for (const auto& [name, value] : fields) {
        list.push_back({reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
                        reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
                        NGHTTP2_NV_FLAG_NONE});
    }
    Bytes out(nghttp2_hd_deflate_bound(m_deflater, list.data(), list.size()));
    const ssize_t length = nghttp2_hd_deflate_hd(m_deflater, out.data(), out.size(), list.data(), list.size());
    out.resize(length > 0 ? std::size_t(length) : 0);
    return out;
}

Bytes Http2Frames::headers(std::uint32_t stream, const Fields& fields, bool endStream)
{
    return frame(Headers, std::uint8_t(0x4 | (endStream ? 0x1 : 0)), stream, block(fields));
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
