#pragma once

#include <QtGlobal>

// What a manifest from the network may cost. Every parser of this folder refuses more than
// this with an error value; none allocates past it.
namespace StreamLimits {

inline constexpr qsizetype MaxManifestBytes = 8 * 1024 * 1024;
// Segment entries of one manifest, all tracks and representations together.
inline constexpr qsizetype MaxSegments = 100000;
// Segments of a dynamic MPD's duration template counted back from the live edge, per
// representation, when the manifest names no time-shift window.
inline constexpr qsizetype MaxLiveWindow = 1000;
inline constexpr qsizetype MaxLineLength = 64 * 1024;
inline constexpr qsizetype MaxUriLength = 8 * 1024;
inline constexpr qsizetype MaxAttributeValueLength = 8 * 1024;
inline constexpr int MaxAttributes = 64;
// Variants and renditions of a master playlist; representations of an MPD.
inline constexpr int MaxVariants = 1000;
inline constexpr int MaxPeriods = 100;
inline constexpr int MaxXmlDepth = 32;
inline constexpr qsizetype MaxXmlElements = 300000;
// Playlists one stream may need: the master, a variant, an audio rendition, and a few nested
// masters at most.
inline constexpr int MaxPlaylists = 8;
// An index (sidx) box and its references.
inline constexpr qsizetype MaxIndexBytes = 4 * 1024 * 1024;

} // namespace StreamLimits
