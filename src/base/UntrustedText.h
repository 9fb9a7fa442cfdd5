#pragma once

#include <QString>
#include <QUrl>

// Text that came from outside (network, tags, tool output) on its way to a terminal or to the
// desktop's address opener.
namespace UntrustedText {

// The text with nothing a terminal acts on: control characters (C0, DEL, C1), the bidirectional
// overrides and isolates and the line separators become \t, \n, \r, \xHH or \uHHHH; a backslash
// becomes \\, so the escaped form reads back unambiguously. Everything else is kept.
QString forTerminal(const QString& text);

// The text as an address to hand to the desktop's opener, or an empty QUrl: only a whole,
// strictly parsed http or https address with a host, without user information, spaces,
// control characters or backslashes, at most kMaxWebAddress characters.
QUrl webPage(const QString& text);

constexpr qsizetype kMaxWebAddress = 2048;

} // namespace UntrustedText
