#pragma once

#include "library/TagStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

inline void writeBenchFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Library files as after a first start: a clip named by its capture time (the newest newestAge
// seconds ago, each next one step seconds older) with its title, page and cached duration, its
// thumbnail and both icons. root ends with '/' and holds the working folders.
inline void fillBenchLibrary(const QString& root, int files, qint64 newestAge, qint64 step)
{
    QImage large(32, 32, QImage::Format_RGB16);
    large.fill(Qt::darkCyan);
    QImage small(16, 16, QImage::Format_RGB16);
    small.fill(Qt::darkCyan);
    large.save(root + QStringLiteral("large.bmp"), "BMP");
    small.save(root + QStringLiteral("small.bmp"), "BMP");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < files; ++i) {
        const QString base = QString::number(now - newestAge - qint64(i) * step);
        const QString path = root + QStringLiteral("Videos/") + base + QStringLiteral(".mp4");
        writeBenchFile(path, QByteArray(4096, 'v'));
        TagStore::write(path, QStringLiteral("title"), QStringLiteral("Clip number %1").arg(i));
        TagStore::write(path, QStringLiteral("author"), QStringLiteral("http://site.test/watch/%1").arg(i));
        TagStore::write(path, QStringLiteral("comments"),
                        QStringLiteral("00:03:%1.00, MP4").arg(i % 60, 2, 10, QLatin1Char('0')));
        writeBenchFile(root + QStringLiteral("160x90/") + base + QStringLiteral(".jpg"), "jpg");
        QFile::copy(root + QStringLiteral("large.bmp"),
                    root + QStringLiteral("32x32/") + base + QStringLiteral(".bmp"));
        QFile::copy(root + QStringLiteral("small.bmp"),
                    root + QStringLiteral("16x16/") + base + QStringLiteral(".bmp"));
    }
    QFile::remove(root + QStringLiteral("large.bmp"));
    QFile::remove(root + QStringLiteral("small.bmp"));
}
