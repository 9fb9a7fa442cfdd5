#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// Exact readers of the numbers manifests write: nothing before or after the number, no sign
// where the format has none, bounded digit counts.
namespace TextNumbers {

// 1 to 18 decimal digits (always fits a qint64).
std::optional<qint64> decimalInteger(QByteArrayView text);
// Digits with an optional fraction ("25", "29.97", "6."), at most 32 characters.
std::optional<double> decimalFloat(QByteArrayView text);
// "30000/1001" or a decimal float (DASH frameRate).
std::optional<double> frameRate(QByteArrayView text);

} // namespace TextNumbers
