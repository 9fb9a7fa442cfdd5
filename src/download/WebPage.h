#pragma once

#include <QString>

#include <atomic>
#include <chrono>

// The small page requests behind titles and site icons. They send the program's display name
// as user agent (the request analyser ignores requests with it), keep no state and may run on
// several threads at once.
namespace WebPage {

// The Content-Type of the answer (empty when it has none), "UnKnown" when no answer came.
// abort, when given and raised, ends any of these requests early (the program is closing).
QString GetContentType(const QString& url,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(1000),
                       const std::atomic<bool>* abort = nullptr);

// The beginning of the page body (reading stops once 65536 bytes are in), widened one byte to
// one character; what was read before a failure; empty for a status other than 200.
QString GetTextContent(const QString& url, std::chrono::milliseconds timeout, const std::atomic<bool>* abort = nullptr);

// Stores the icon of host as "FavIcons/<host>": first a copy of "FavIcons/DefaultVideo" as a
// placeholder (unless the file exists), then the answer to iconUrl when it is a 200 of fewer
// than 65536 bytes; a bigger icon leaves the placeholder. A failed request keeps the
// placeholder (the answer is written only once it is complete).
void GetFavIcon(const QString& iconUrl,
                std::chrono::milliseconds timeout,
                const QString& host,
                const std::atomic<bool>* abort = nullptr);

// True when "FavIcons/" holds a file named exactly host.
bool iconPresent(const QString& host);

// The path of host's icon file (whether it exists or not); empty for a host that cannot be a
// file name ("", ".", "..", or containing a slash) or that names a fallback icon.
QString iconPath(const QString& host);

// The host part of a page address: after the leading "http://" or "https://" (any case,
// repeated ones too) up to the first "/", "?" or "#", credentials dropped; empty without a
// scheme, without anything after the host, or when it is no host name (a DNS name, an IPv4
// address or a bracketed IPv6 address, with an optional port of 1-65535).
QString iconHost(const QString& pageAddress);

// Where the icon of a page's host is asked for: "/favicon.ico" on that host, over HTTPS when
// the page came over HTTPS; empty when iconHost() is.
QString iconAddress(const QString& pageAddress);

} // namespace WebPage
