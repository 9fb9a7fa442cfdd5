#pragma once

#include <QString>

// The name an exported, converted or cut file takes from its title: at most 255 characters,
// without the characters \ / | : * ? > < " and tab (nor any other control character), white
// space trimmed at both ends, and the default title ("Unnamed media file") when nothing is left.
namespace OutputName {

// File systems limit a name to 255 bytes, not characters.
constexpr qsizetype MaxNameBytes = 255;

// reservedBytes is what the caller appends (".mp4", " (2)"): the result's UTF-8 form stays
// within MaxNameBytes - reservedBytes, cut between characters, never inside one.
QString clean(const QString& title, qsizetype reservedBytes = 0);

} // namespace OutputName
