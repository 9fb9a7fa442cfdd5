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

// The n-th name a file may take when its own is taken: path itself for n up to 1, else
// "<folder>/<name> (n).<extension>" ("Title.mp4", "Title (2).mp4", ...). A caller that needs
// the name free tries them in turn with a step that cannot replace a file.
QString numbered(const QString& path, int n);

} // namespace OutputName
