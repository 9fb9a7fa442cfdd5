#pragma once

#include <QString>

// The name an exported, converted or cut file takes from its title: at most 255 characters,
// without the characters \ / | : * ? > < " and tab, white space trimmed at both ends, and the
// default title ("Unnamed media file") when nothing is left.
namespace OutputName {

QString clean(const QString& title);

} // namespace OutputName
