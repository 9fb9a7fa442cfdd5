// Feeds arbitrary request text to the header reader behind every candidate's address, cookies
// and browser headers. The text is whatever a captured frame held after "GET /".
#include "capture/RequestFields.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// A value or an address goes into the candidate's requests: no line break or NUL may get in.
bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    static constexpr std::string_view kNames[] = {"host: ",   "user-agent: ", "accept: ",     "accept-language: ",
                                                  "cookie: ", "referer: ",    "connection: ", "accept-encoding: "};
    for (const std::string_view name : kNames) {
        const QString value = RequestFields::headerValue(text, name);
        if (value.size() > text.size() || hasLineBreak(value))
            __builtin_trap();
        // Spaces and tabs around a value are never part of it.
        if (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()))
            __builtin_trap();
    }
    const QString address = RequestFields::address(text);
    if (!address.startsWith(QLatin1String("http://")) || hasLineBreak(address))
        __builtin_trap();
    return 0;
}
