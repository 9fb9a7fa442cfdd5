#pragma once

#include <QString>

#include <array>
#include <string_view>

// The fixed address lists of the request analyser, in one place so that a reader sees at a
// glance which sites are left alone.
namespace AddressFilters {

// Video-sharing, news and television sites whose media the link downloader handles better than
// a replayed request (their streams are split, signed or rotated): a request whose address
// contains one of these never becomes a candidate. All but the last are "domain/"; the last is
// a bare prefix that matches every host of a video-serving domain.
inline constexpr std::array<std::string_view, 26> kVideoSites = {
    "youtube.com/",  "youtu.be/",     "vimeo.com/",     "dailymotion.com/", "facebook.com/", "instagram.com/",
    "twitter.com/",  "tiktok.com/",   "twitch.tv/",     "vk.com/",          "ok.ru/",        "rutube.ru/",
    "metacafe.com/", "liveleak.com/", "bbc.co.uk/",     "cnn.com/",         "nbcnews.com/",  "cbsnews.com/",
    "foxnews.com/",  "reuters.com/",  "bloomberg.com/", "theguardian.com/", "1tv.ru/",       "ntv.ru/",
    "vesti.ru/",     "googlevideo.",
};

// Addresses seen on almost every page that are not pages the user visits: an advertising
// network, an embedded-widget host and two dialog/connect paths of a social network. They
// are never recorded as page history.
inline constexpr std::array<std::string_view, 4> kAdvertisingAndWidgets = {
    "doubleclick.net",
    "platform.twitter.com",
    "facebook.com/dialog/",
    "facebook.com/connect/",
};

// Requests for these give no candidate, whatever the site.
inline constexpr std::string_view kStreamingPlayback = "/videoplayback?";

// True when the address is not recorded as a visited page: a resource extension (compared
// ignoring case), a "%" anywhere, or an advertising or widget address.
bool skipAsPage(const QString& address);

// True when a media response for this address gives no candidate.
bool skipAsCandidate(const QString& address);

} // namespace AddressFilters
