#pragma once

#include "streams/StreamError.h"
#include "streams/StreamPlan.h"

#include <QByteArrayView>

// An HLS playlist (RFC 8216), master or media, with every address resolved against the
// playlist's own. Bounded by StreamLimits; a protected key (SAMPLE-AES, SAMPLE-AES-CTR, a
// KEYFORMAT other than "identity", an skd:// key) marks the playlist protected and stops there.
struct HlsPlaylist
{
    enum class Kind
    {
        Master,
        Media,
    };
    enum class PlaylistType
    {
        Unspecified,
        Event,
        Vod,
    };

    Kind kind = Kind::Media;
    bool isProtected = false;

    // Master.
    QList<StreamVariant> variants;
    QList<AudioRendition> audio;

    // Media.
    double targetDuration = 0;
    qint64 mediaSequence = 0;
    bool endList = false;
    PlaylistType playlistType = PlaylistType::Unspecified;
    QList<InitSection> initSections;
    QList<SegmentRequest> segments;

    // A media playlist without EXT-X-ENDLIST may still grow.
    bool live() const { return kind == Kind::Media && !endList && playlistType != PlaylistType::Vod; }
    double duration() const;

    static StreamResult<HlsPlaylist> parse(QByteArrayView text, const QUrl& address);
};
