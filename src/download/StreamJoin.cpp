#include "download/StreamJoin.h"

#include <QFile>

#include <functional>

namespace StreamJoin {
namespace {

// Writes path through its ".part" sibling and renames it into place when write() succeeds.
bool writeThrough(const QString& path, const std::function<bool(QFile&)>& write)
{
    const QString part = path + QStringLiteral(".part");
    QFile out(part);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = write(out) && out.flush();
    out.close();
    if (!written || out.error() != QFileDevice::NoError || (QFile::exists(path) && !QFile::remove(path)) ||
        !QFile::rename(part, path)) {
        QFile::remove(part);
        return false;
    }
    return true;
}

} // namespace

QStringList order(const QList<Piece>& pieces)
{
    QStringList files;
    QString lastInit;
    for (const Piece& piece : pieces) {
        if (!piece.init.isEmpty() && piece.init != lastInit)
            files << piece.init;
        lastInit = piece.init;
        files << piece.segment;
    }
    return files;
}

bool join(const QList<Piece>& pieces, const QString& file)
{
    return writeThrough(file, [&](QFile& out) {
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
        for (const QString& path : order(pieces)) {
            if (!append(path))
                return false;
        }
        return true;
    });
}

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    return writeThrough(path, [&](QFile& out) { return out.write(bytes) == bytes.size(); });
}

} // namespace StreamJoin
