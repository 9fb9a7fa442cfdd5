#include "library/FileCopy.h"

#include "library/RegularFile.h"

#include <QFile>

namespace FileCopy {

bool copy(const QString& source,
          const QString& target,
          const std::function<void(int percent)>& progress,
          const std::atomic<bool>* stop)
{
    QFile in;
    if (!RegularFile::open(in, source, QIODevice::ReadOnly))
        return false;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 total = in.size();
    qint64 done = 0;
    int shown = -1;
    QByteArray block;
    for (;;) {
        block = in.read(BlockSize);
        if (block.isEmpty())
            break;
        if ((stop && stop->load()) || out.write(block) != block.size()) {
            out.close();
            out.remove();
            return false;
        }
        done += block.size();
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (progress && percent != shown) {
            shown = percent;
            progress(percent);
        }
    }
    if (in.error() != QFileDevice::NoError || !out.flush()) {
        out.close();
        out.remove();
        return false;
    }
    return true;
}

qint64 appendFrom(const QString& source, qint64 offset, qint64 end, const QString& target)
{
    QFile in;
    if (!RegularFile::open(in, source, QIODevice::ReadOnly) || !in.seek(offset))
        return -1;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
        return -1;
    qint64 appended = 0;
    while (offset + appended < end) {
        const QByteArray block = in.read(qMin(BlockSize, end - offset - appended));
        if (block.isEmpty() || out.write(block) != block.size())
            break;
        appended += block.size();
    }
    return appended;
}

} // namespace FileCopy
