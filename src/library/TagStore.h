#pragma once

#include <QString>

// The three text tags of a library file: "title", "author" and "comments". They live in the
// file's extended attributes (user.trawlix.<name>, UTF-8), or, where the file system refuses
// user attributes (or the value), in one sidecar store in the data folder ("tags.json", keyed by
// the file's canonical path). The media bytes are never rewritten.
namespace TagStore {

// The tag's value; the default title ("Unnamed media file") when it is missing or empty, or
// when the file does not exist.
QString read(const QString& filePath, const QString& tagName);

// Writes the tag; returns false when the file does not exist or the value could not be stored
// anywhere.
bool write(const QString& filePath, const QString& tagName, const QString& value);

// The deletion mark: a file the user deleted while it may still be open leaves the disk at the
// next start. The mark is a tag of its own ("deletion"), so no title can ever read as one.
bool markForDeletion(const QString& filePath);
bool isMarkedForDeletion(const QString& filePath);

// Drops the sidecar entries of a file that is being deleted, so that a later file of the same
// name does not inherit its tags. Extended attributes go with the file by themselves.
void forget(const QString& filePath);

// Test seams. The sidecar path defaults to the data folder's "tags.json"; with extended
// attributes disabled every tag goes to the sidecar, as on a file system without them.
void setSidecarPath(const QString& path);
QString sidecarPath();
void setExtendedAttributesEnabled(bool enabled);

} // namespace TagStore
