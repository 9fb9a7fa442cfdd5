// What the sound recorder calls each audio source.
#pragma once

#include "tools/RecordSources.h"

#include <QList>
#include <QString>

// The device list says what a source records in words, not in the sound system's terms:
// Sonotrap first ("the sound this computer plays"), then what each output plays (PulseAudio
// monitors), inputs, the default input and sound cards. ALSA's plugins (rate converters,
// "null", "jack", mixers) and the other views of one card are kept for "Show every device",
// with their description cut short.
namespace DeviceNames {

// The longest label shown; descriptions come from the sound system and may be long.
constexpr qsizetype MaxLabel = 80;

enum class Kind
{
    Own,     // Sonotrap
    Monitor, // the sound an output plays
    Input,   // a sound server input (microphone, line in)
    Default, // the sound system's default input
    Card,    // one sound card
    Other,   // plugins and other views of a card: listed only on request
};

struct Entry
{
    AudioSource source;
    Kind kind = Kind::Other;
    QString label;
};

Kind kindOf(const AudioSource& source);
QString labelOf(const AudioSource& source);
// The sources in the order the list shows them: by kind, keeping the sound system's order
// within a kind.
QList<Entry> arrange(const QList<AudioSource>& sources);
bool hasOwnDevice(const QList<AudioSource>& sources);

} // namespace DeviceNames
