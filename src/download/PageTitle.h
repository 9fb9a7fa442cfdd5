#pragma once

#include <QString>

// The title inside an HTML text: the first <title> element (tags matched in any case), white
// space tidied, the program's own entity table applied in its order, UTF-8 restored, at most
// 70 characters plus "...". Without a title element it is "Unnamed media file".
// html holds the page bytes widened one byte to one character, as GetTextContent returns them.
QString pageTitle(const QString& html);
