#pragma once

#include "wire/Endpoint.h"
#include "wire/WireLimits.h"

#include <cstdint>
#include <string>
#include <vector>

struct HttpHeader
{
    std::string name; // as sent; HTTP/2 names are lower case
    std::string value;
};

// One request and its response as read from a connection. Bodies are counted, never kept.
struct HttpExchange
{
    enum class Protocol
    {
        Http1,
        Http2,
    };

    enum class Ending
    {
        Open,      // the response headers are known, the body is still coming
        Complete,  // the response ended as its framing says
        Reset,     // HTTP/2 stream reset, or the connection closed before the body's end
        Abandoned, // decoding of the connection stopped (a gap, a bound, a framing error)
    };

    std::uint64_t id = 0; // unique for one decoder, the same in both callbacks
    Protocol protocol = Protocol::Http1;
    bool encrypted = false; // scheme "https" when true
    Endpoint client;
    Endpoint server;
    WireTime requestTime = 0;
    WireTime responseTime = 0;

    std::string method;
    std::string scheme;                     // "https" or "http"
    std::string authority;                  // :authority or Host (or the TLS server name when neither is sent)
    std::string path;                       // origin form: "/a/b?c"
    std::vector<HttpHeader> requestHeaders; // in order, without pseudo fields; cookies joined
    int status = 0;
    std::vector<HttpHeader> responseHeaders;
    std::uint64_t requestBodyBytes = 0;
    std::uint64_t responseBodyBytes = 0;
    Ending ending = Ending::Open;
    // A header section or list longer than WireLimits::maxHeaderBytes lost its later fields.
    bool headersTruncated = false;

    // The first field of that name (ASCII case ignored), or nullptr.
    const std::string* requestHeader(const std::string& name) const;
    const std::string* responseHeader(const std::string& name) const;
};
