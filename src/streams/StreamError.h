#pragma once

#include <QString>

#include <optional>
#include <utility>

// Why a manifest or an index gave no plan. Parsers return it as a value; nothing throws.
struct StreamError
{
    enum class Code
    {
        TooLarge,         // the manifest or index is past its byte bound
        TooManySegments,  // past StreamLimits::MaxSegments
        TooLong,          // a line, address or attribute value past its bound
        TooDeep,          // XML nesting or element count past its bound
        Malformed,        // not what the format allows
        Unsupported,      // well formed, but nothing this program can fetch
        Loop,             // a playlist names one already fetched or asked for
        TooManyPlaylists, // past StreamLimits::MaxPlaylists
        NoVariant,        // nothing to choose from
        FetchFailed,      // the download layer could not fetch a playlist or an index
    };

    Code code = Code::Malformed;
    QString text; // one line for the trace and the download list's tool tip

    bool operator==(const StreamError&) const = default;
};

// A value or the error that stopped it.
template <typename T> class StreamResult final
{
public:
    StreamResult(T value)
        : m_value(std::move(value))
    {}
    StreamResult(StreamError error)
        : m_error(std::move(error))
    {}

    bool ok() const { return m_value.has_value(); }
    const T& value() const { return *m_value; }
    T& value() { return *m_value; }
    const StreamError& error() const { return m_error; }

private:
    std::optional<T> m_value;
    StreamError m_error;
};

inline StreamError streamError(StreamError::Code code, QString text)
{
    return StreamError{code, std::move(text)};
}
