#pragma once

#include "streams/StreamPlan.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

// Segmented programmes made by ffmpeg at test time: a test picture with a tone (H.264 and AAC),
// cut on keyframes into segments of one length, in each kind a web player meets. Every maker
// writes into one folder under the names it gives, and returns false when a tool failed.
namespace StreamFixture {

struct Programme
{
    int seconds = 8;
    int segmentSeconds = 2;
    QSize size{320, 240};
    int startNumber = 0; // the first segment's number (the HLS media sequence)
};

// HLS in transport-stream segments: index.m3u8 and index<n>.ts.
bool hls(const QString& folder, const Programme& programme);

// HLS in two variants under a master playlist: master.m3u8 naming stream_0.m3u8 (the
// programme's size, the higher bandwidth) and stream_1.m3u8 (`small`); segments
// seg_<variant>_<nnn>.ts.
bool hlsTwoVariants(const QString& folder, const Programme& programme, QSize small);

// HLS in fragmented MP4 with an EXT-X-MAP init section: index.m3u8, init.mp4, index<n>.m4s.
bool hlsFragmented(const QString& folder, const Programme& programme);

// HLS encrypted with AES-128 by ffmpeg, which writes the IV into the key tag: index.m3u8,
// key.bin holding key, index<n>.ts.
bool hlsAes128(const QString& folder, const Programme& programme, const QByteArray& key);

// HLS encrypted with AES-128 without an IV in the playlist: openssl encrypts each segment with
// its media sequence number as the IV. index.m3u8, key.bin, index<n>.ts.
bool hlsAes128SequenceIv(const QString& folder, const Programme& programme, const QByteArray& key);

// DASH with SegmentTemplate and SegmentTimeline, video and audio in adaptation sets of their
// own: manifest.mpd, init-stream<n>.m4s, chunk-stream<n>-<nnnnn>.m4s.
bool dashTimeline(const QString& folder, const Programme& programme);

// DASH with each track in one file, listed by ranges (ffmpeg's -single_file): manifest.mpd.
bool dashSingleFile(const QString& folder, const Programme& programme);

// DASH SegmentBase: video.mp4 and audio.mp4, each a fragmented file with a global sidx, and
// manifest.mpd naming them with their index and initialization ranges.
bool dashSegmentBase(const QString& folder, const Programme& programme);

// The first top-level MP4 box of this type: its offset and size.
std::optional<ByteRange> topLevelBox(const QByteArray& file, const char* type);

} // namespace StreamFixture
