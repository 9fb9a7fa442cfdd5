#include "download/StreamJoin.h"

#include <QFile>
#include <QSaveFile>

namespace StreamJoin {

bool join(const QList<Piece>& pieces, const QString& file)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const auto append = [&](const QString& path) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        while (!in.atEnd()) {
            const QByteArray block = in.read(1 << 20);
            if (block.isEmpty() || out.write(block) != block.size())
                return false;
        }
        return true;
    };
    QString lastInit;
    for (const Piece& piece : pieces) {
        if (!piece.init.isEmpty() && piece.init != lastInit && !append(piece.init))
            return false;
        lastInit = piece.init;
        if (!append(piece.segment))
            return false;
    }
    return out.commit();
}

} // namespace StreamJoin
