#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

// Values taken from the raw text of a captured request. A header counts only as a whole line of
// the request head: its name at the start of a line after the request line (ignoring ASCII case,
// as HTTP does), followed directly by ':'. Text inside another line, inside a value, in the
// request line or after the head's blank line is never read as a header.
namespace RequestFields {

// "http://" + the Host value + the path of the request line ("GET " dropped, up to the first
// space or line end). A missing Host (or one without its line end) gives an empty host.
QString address(const QByteArray& requestText);

// The value of the first header of that name (given in lower case with its ": "), spaces and
// tabs around it removed; empty when the header or its "\r\n" is missing, or when the value holds
// a lone CR or LF or a NUL.
QString headerValue(const QByteArray& requestText, std::string_view lowerName);

} // namespace RequestFields
