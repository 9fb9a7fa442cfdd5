#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

// Values taken from the raw text of a captured request. Header names are matched ignoring
// ASCII case (servers, proxies and clients spell them as they like); the text is the first
// occurrence of the name up to the next "\r\n".
namespace RequestFields {

// "http://" + the Host value + the path of the request line ("GET " dropped, up to the first
// space). A missing Host (or one without its line end) gives an empty host.
QString address(const QByteArray& requestText);

// The value after the header name (given in lower case with its ": "), up to the next "\r\n";
// empty when the name or its line end is missing.
QString headerValue(const QByteArray& requestText, std::string_view lowerName);

} // namespace RequestFields
