#include "wire/Http1Message.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::size_t kMaxLine = 4096; // chunk-size and trailer lines

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
           });
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool containsTokenNoCase(std::string_view list, std::string_view token)
{
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        if (equalsNoCase(trim(list.substr(0, comma)), token))
            return true;
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return false;
}

} // namespace

Http1Message::Http1Message(std::size_t maxHeadBytes, Handler handler)
    : m_maxHead(maxHeadBytes)
    , m_handler(std::move(handler))
{}

std::optional<Http1Message::Head> Http1Message::parseHead(std::string_view text, std::size_t maxFieldBytes)
{
    Head head;
    std::size_t fieldBytes = 0;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            if (line.empty())
                return std::nullopt;
            head.startLine = std::string(line);
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        if (line.front() == ' ' || line.front() == '\t') { // an obsolete folded continuation
            if (!head.headers.empty() && !head.truncated)
                head.headers.back().value += " " + std::string(trim(line));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return std::nullopt;
        const std::string_view name = line.substr(0, colon);
        if (name.find_first_of(" \t") != std::string_view::npos)
            return std::nullopt;
        const std::string_view value = trim(line.substr(colon + 1));
        fieldBytes += name.size() + value.size() + 32;
        if (fieldBytes > maxFieldBytes) {
            head.truncated = true;
            continue;
        }
        head.headers.push_back({std::string(name), std::string(value)});
    }
    if (first)
        return std::nullopt;
    return head;
}

std::optional<Http1Message::Body> Http1Message::framing(const std::vector<HttpHeader>& headers, std::uint64_t& length)
{
    std::optional<std::uint64_t> declared;
    for (const HttpHeader& header : headers) {
        if (equalsNoCase(header.name, "transfer-encoding")) {
            if (containsTokenNoCase(header.value, "chunked"))
                return Body::Chunked; // chunked wins over any length
            return Body::UntilClose;
        }
        if (equalsNoCase(header.name, "content-length")) {
            std::uint64_t value = 0;
            const std::string_view text = header.value;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() || (declared && *declared != value))
                return std::nullopt; // unreadable or conflicting lengths: the framing is unknown
            declared = value;
        }
    }
    if (!declared)
        return Body::None;
    length = *declared;
    return Body::Length;
}

bool Http1Message::line(std::span<const std::uint8_t>& bytes, std::string& out, bool& complete)
{
    const auto newline = std::find(bytes.begin(), bytes.end(), std::uint8_t('\n'));
    const std::size_t count = std::size_t(newline - bytes.begin());
    complete = newline != bytes.end();
    if (out.size() + count > kMaxLine)
        return false;
    out.append(reinterpret_cast<const char*>(bytes.data()), count);
    bytes = bytes.subspan(complete ? count + 1 : count);
    if (complete && !out.empty() && out.back() == '\r')
        out.pop_back();
    return true;
}

bool Http1Message::headBytes(std::span<const std::uint8_t>& bytes, WireTime time)
{
    if (m_text.empty()) { // blank lines between messages are allowed
        while (!bytes.empty() && (bytes[0] == '\r' || bytes[0] == '\n'))
            bytes = bytes.subspan(1);
        if (bytes.empty())
            return true;
    }
    const std::size_t before = m_text.size();
    const std::size_t taken = std::min(bytes.size(), m_maxHead + 3 - before);
    m_text.append(reinterpret_cast<const char*>(bytes.data()), taken);
    // The section ends with an empty line: LF CR LF, or LF LF.
    const std::size_t from = before >= 2 ? before - 2 : 0;
    const std::size_t crlf = m_text.find("\n\r\n", from);
    const std::size_t lf = m_text.find("\n\n", from);
    const std::size_t at = std::min(crlf, lf);
    if (at == std::string::npos) {
        if (m_text.size() > m_maxHead)
            return false;
        bytes = bytes.subspan(taken);
        return true;
    }
    const std::size_t end = at + 1; // the section with its last line's end
    if (end > m_maxHead + 1)
        return false;
    bytes = bytes.subspan(at + (at == crlf ? 3 : 2) - before);
    auto head = parseHead(std::string_view(m_text).substr(0, end), m_maxHead);
    m_text.clear();
    if (!head)
        return false;
    std::uint64_t length = 0;
    const auto body = m_handler.head(*head, length, time);
    if (!body)
        return false;
    m_body = *body;
    m_remaining = length;
    switch (m_body) {
    case Body::None:
        finish(time);
        break;
    case Body::Length:
        m_state = State::Body;
        if (m_remaining == 0)
            finish(time);
        break;
    case Body::Chunked:
        m_state = State::ChunkSize;
        break;
    case Body::UntilClose:
        m_state = State::Body;
        break;
    }
    return true;
}

void Http1Message::finish(WireTime time)
{
    m_state = State::Head;
    m_text.clear();
    m_handler.end(time);
}

bool Http1Message::feed(std::span<const std::uint8_t> bytes, WireTime time)
{
    while (!bytes.empty()) {
        switch (m_state) {
        case State::Head:
            if (!headBytes(bytes, time))
                return false;
            break;
        case State::Body: {
            const std::size_t count = m_body == Body::UntilClose
                                          ? bytes.size()
                                          : std::size_t(std::min<std::uint64_t>(m_remaining, bytes.size()));
            m_handler.body(count);
            bytes = bytes.subspan(count);
            if (m_body == Body::Length) {
                m_remaining -= count;
                if (m_remaining == 0)
                    finish(time);
            }
            break;
        }
        case State::ChunkSize: {
            bool complete = false;
            if (!line(bytes, m_text, complete))
                return false;
            if (!complete)
                break;
            std::string_view text = m_text;
            text = text.substr(0, std::min(text.find(';'), text.size()));
            text = trim(text);
            std::uint64_t size = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size, 16);
            if (text.empty() || error != std::errc() || end != text.data() + text.size())
                return false;
            m_text.clear();
            m_remaining = size;
            m_state = size == 0 ? State::Trailers : State::ChunkData;
            break;
        }
        case State::ChunkData: {
            const std::size_t count = std::size_t(std::min<std::uint64_t>(m_remaining, bytes.size()));
            m_handler.body(count);
            bytes = bytes.subspan(count);
            m_remaining -= count;
            if (m_remaining == 0)
                m_state = State::ChunkDataEnd;
            break;
        }
        case State::ChunkDataEnd: {
            bool complete = false;
            if (!line(bytes, m_text, complete))
                return false;
            if (!complete)
                break;
            if (!m_text.empty())
                return false;
            m_state = State::ChunkSize;
            break;
        }
        case State::Trailers: {
            bool complete = false;
            if (!line(bytes, m_text, complete))
                return false;
            if (!complete)
                break;
            const bool last = m_text.empty();
            m_text.clear();
            if (last)
                finish(time);
            break;
        }
        }
    }
    return true;
}
