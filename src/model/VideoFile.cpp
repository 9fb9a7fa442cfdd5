#include "model/VideoFile.h"

QString stateName(VideoFile::State state)
{
    switch (state) {
    case VideoFile::State::New:
        return QStringLiteral("New");
    case VideoFile::State::Old:
        return QStringLiteral("Old");
    case VideoFile::State::Canceled:
        return QStringLiteral("Canceled");
    }
    return {};
}

QString streamName(VideoFile::Stream stream)
{
    switch (stream) {
    case VideoFile::Stream::None:
        return {};
    case VideoFile::Stream::Hls:
        return QStringLiteral("HLS");
    case VideoFile::Stream::Dash:
        return QStringLiteral("DASH");
    }
    return {};
}

QString stateName(TempRecordsFile::State state)
{
    switch (state) {
    case TempRecordsFile::State::Unknown:
        return QStringLiteral("UnKnown");
    case TempRecordsFile::State::RecordingNow:
        return QStringLiteral("RecordingNow");
    case TempRecordsFile::State::HasBeenRecorded:
        return QStringLiteral("HasBeenRecorded");
    case TempRecordsFile::State::HasBeenImported:
        return QStringLiteral("HasBeenImported");
    }
    return {};
}
