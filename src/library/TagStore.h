#pragma once

#include <QString>

// The three text tags of a library file: "title", "author" and "comments". They live in the
// file's extended attributes (user.trawlix.<name>, UTF-8), or, where the file system refuses
// user attributes, in one sidecar store in the data folder keyed by the file's path. The media
// bytes are never rewritten.
namespace TagStore {

// The tag's value; the default title ("Unnamed media file") when it is missing or empty.
QString read(const QString& filePath, const QString& tagName);

// Writes the tag; returns false when it could not be stored anywhere.
bool write(const QString& filePath, const QString& tagName, const QString& value);

} // namespace TagStore
