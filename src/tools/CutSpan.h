#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Time arithmetic of the cutter. Times are whole milliseconds; every text is written and read
// with a decimal point whatever the locale, because ffmpeg reads nothing else.
namespace CutSpan {

// The span slider's scale: a handle position p stands for p / Scale of the media length.
constexpr int Scale = 10000;
// Longer times are no media length; they are refused rather than multiplied.
constexpr qint64 MaxMs = 100LL * 3600 * 1000;

// Seconds at a handle position: p x length / 10,000,000, rounded to the tenth the page shows.
qint64 msAtPosition(int position, qint64 lengthMs);

// "%.1f" of the seconds: 83400 -> "83.4".
QString tenthsText(qint64 ms);

// The page's display form of a "%.1f" seconds text: "83.4" -> "00:01:23.4". Hours are not
// wrapped at a day.
QString displayTime(const QString& tenths);
QString displayTimeMs(qint64 ms);

// The shortest text with at least one decimal that ffmpeg reads as these milliseconds:
// 83400 -> "83.4", 10000 -> "10.0", 9967 -> "9.967".
QString secondsText(qint64 ms);

// Reads seconds written with a decimal point or a decimal comma ("83.4", "83,4", "95") into
// milliseconds, rounded; nullopt for anything else, negative or beyond MaxMs.
std::optional<qint64> parseSeconds(const QString& text);

// The media length of the page: the player's length when above 0, otherwise the duration
// column "HH:MM:SS" in milliseconds; 0 when neither is known.
qint64 mediaLengthMs(qint64 playerLengthMs, const QString& durationColumn);

} // namespace CutSpan
