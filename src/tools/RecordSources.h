#pragma once

#include "tools/ToolCommand.h"

#include <QList>
#include <QString>

// An audio input ffmpeg can record from: a device of its ALSA input ("sonotrap", "default") or
// of its PulseAudio input ("ci_sink.monitor").
struct AudioSource
{
    QString input;       // ffmpeg's input format: "alsa" or "pulse"
    QString name;        // what follows -i
    QString description; // the text the sound system gives it ("Sonotrap"); may be empty

    // What the device list shows: the description, else the name.
    QString label() const { return description.isEmpty() ? name : description; }
    bool operator==(const AudioSource&) const = default;
};

// Finding the audio inputs with "ffmpeg -hide_banner -sources alsa" (and "pulse") and the rules
// the recorder's device list follows.
namespace RecordSources {

// The device list's name for the program's own capture device.
inline constexpr char16_t OwnDevice[] = u"Sonotrap";

// Most sources read from one listing; the rest is ignored.
constexpr int MaxSources = 128;

// The sources of one "-sources INPUT" listing, in ffmpeg's order. Lines of the form
// "  NAME [DESCRIPTION] (TYPES)" (a leading "*" marks ffmpeg's default) after the
// "Auto-detected sources for INPUT:" line; anything else is not a source.
QList<AudioSource> parse(const QString& input, const QString& output);

// Runs the listings (ALSA, then PulseAudio) and returns the sources in the order the device list
// shows them: each new source goes on top, so the list is the reverse of ffmpeg's order.
QList<AudioSource> discover();

// Which sources start checked: the program's own device ("Sonotrap", matched exactly), and the
// only source when there is just one.
QList<bool> initialChecks(const QList<AudioSource>& listed);

// "-f INPUT -i NAME" for every source, in the given order.
QStringList inputArguments(const QList<AudioSource>& checked);

} // namespace RecordSources
