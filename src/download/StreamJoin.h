#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One track's file from its segment files, in order, each segment led by its init section
// whenever that differs from the one before (fMP4 and CMAF need it at every switch; a transport
// stream names none).
namespace StreamJoin {

struct Piece
{
    QString init; // empty: none
    QString segment;
};

// Segments and joined tracks are scratch on the way to the library file: each appears whole or
// not at all (written beside under ".part", then renamed), but none is forced to the disk; the
// muxed file that leaves the folder is the one that must outlive a power cut, and the finished
// file's duration is checked against the playlist's.

// The files of pieces in the order they make the track: each segment led by its init section
// when that differs from the one before.
QStringList order(const QList<Piece>& pieces);

// False when a piece cannot be read or the file cannot be written; the file is then not there.
bool join(const QList<Piece>& pieces, const QString& file);

// Writes bytes as the file path; false (and no file) when it cannot.
bool writeWhole(const QString& path, const QByteArray& bytes);

} // namespace StreamJoin
