#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// The plain records a manifest turns into: what the download layer fetches, in order, and what
// the assembly joins. Nothing here fetches or decides; see StreamPlanBuilder.

enum class StreamFormat
{
    Hls,
    Dash,
};

// Bytes [offset, offset + length) of a resource: "Range: bytes=offset-(offset+length-1)".
struct ByteRange
{
    qint64 offset = 0;
    qint64 length = 0;

    qint64 last() const { return offset + length - 1; }
    bool operator==(const ByteRange&) const = default;
};

// How the bytes of a segment are encrypted. Only what this program decrypts is here: a
// protected stream never reaches a plan.
struct SegmentKey
{
    enum class Method
    {
        None,
        Aes128, // AES-128-CBC of the whole segment with PKCS#7 padding
    };

    Method method = Method::None;
    QUrl url;      // the key (16 bytes), fetched with the page's headers
    QByteArray iv; // 16 bytes

    bool operator==(const SegmentKey&) const = default;
};

// An initialisation section (HLS EXT-X-MAP, DASH Initialization) that precedes the segments
// that name it.
struct InitSection
{
    QUrl url;
    std::optional<ByteRange> range;
    SegmentKey key; // HLS encrypts an init section with the key in force at its EXT-X-MAP

    bool operator==(const InitSection&) const = default;
};

struct SegmentRequest
{
    QUrl url;
    std::optional<ByteRange> range;
    double duration = 0; // seconds
    // The HLS media sequence number or the DASH segment number: a live reload continues from
    // the last one recorded.
    qint64 sequence = 0;
    // DASH: where it starts on the presentation's time line, seconds (-1: unknown). A live
    // reload tells by it which segments follow the last one recorded.
    double start = -1;
    bool discontinuity = false; // timestamps restart here (HLS discontinuity, DASH period)
    int initSection = -1;       // index into TrackPlan::initSections, or -1
    SegmentKey key;

    bool operator==(const SegmentRequest&) const = default;
};

// One variant (HLS EXT-X-STREAM-INF, DASH video Representation) to choose among.
struct StreamVariant
{
    QUrl url;   // HLS: its media playlist; DASH: empty
    QString id; // DASH Representation@id
    qint64 bandwidth = 0;
    qint64 averageBandwidth = 0;
    int width = 0;
    int height = 0;
    double frameRate = 0;
    QString codecs;
    QString mimeType;
    QString audioGroup; // HLS AUDIO group

    bool operator==(const StreamVariant&) const = default;
};

// One alternate audio (HLS EXT-X-MEDIA TYPE=AUDIO, DASH audio Representation).
struct AudioRendition
{
    QString groupId; // HLS GROUP-ID; DASH empty
    QString name;
    QString language;
    QString id; // DASH Representation@id
    bool isDefault = false;
    bool autoselect = false;
    QUrl url; // HLS: its media playlist; empty when the variant itself carries the sound
    qint64 bandwidth = 0;
    QString codecs;
    QString mimeType;

    bool operator==(const AudioRendition&) const = default;
};

struct TrackPlan
{
    enum class Kind
    {
        Video, // may carry the sound too
        Audio,
    };

    Kind kind = Kind::Video;
    QUrl playlistUrl; // the media playlist (HLS) or the MPD (DASH)
    QString codecs;
    QString mimeType;
    QList<InitSection> initSections;
    QList<SegmentRequest> segments;
    double duration = 0; // sum of the segment durations

    bool operator==(const TrackPlan&) const = default;
};

struct StreamPlan
{
    StreamFormat format = StreamFormat::Hls;
    QUrl manifestUrl;
    StreamVariant variant;               // the chosen one
    std::optional<AudioRendition> audio; // when the sound is a track of its own
    QList<TrackPlan> tracks;             // the video (or only) track first, then the audio
    double duration = 0;                 // the longest track
    double targetDuration = 0;           // seconds; the reload interval of a live stream
    bool live = false;                   // HLS without EXT-X-ENDLIST, DASH type="dynamic"
    bool isProtected = false;            // DRM: refused with the state "Protected"
    // DASH type="dynamic": as the MPD says (zero or invalid when absent).
    double minimumUpdatePeriod = 0;
    double timeShiftBufferDepth = 0;
    QDateTime availabilityStartTime;
};
