#pragma once

#include <QList>
#include <QString>

// One track's file from its segment files, in order, each segment led by its init section
// whenever that differs from the one before (fMP4 and CMAF need it at every switch; a transport
// stream names none).
namespace StreamJoin {

struct Piece
{
    QString init; // empty: none
    QString segment;
};

// False when a piece cannot be read or the file cannot be written; the file is then not there.
bool join(const QList<Piece>& pieces, const QString& file);

} // namespace StreamJoin
