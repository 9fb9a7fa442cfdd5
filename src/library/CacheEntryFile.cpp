#include "library/CacheEntryFile.h"

#include "library/FileCopy.h"

#include <QFileInfo>

CacheEntryFile::CacheEntryFile(const QString& path, CacheEntryFormat format)
    : m_file(path)
    , m_format(format)
{}

bool CacheEntryFile::open()
{
    m_why.clear();
    m_body = {};
    // Only regular files: opening a pipe put in the cache's place would block the thread.
    if (!QFileInfo(m_file.fileName()).isFile() || !m_file.open(QIODevice::ReadOnly))
        return false;
    CacheEntryReader::Source source;
    source.size = m_file.size();
    source.read = [this](qint64 offset, qint64 length) {
        return m_file.seek(offset) ? m_file.read(length) : QByteArray();
    };
    m_body = CacheEntryReader::read(m_format, source);
    if (!m_body.ok) {
        m_why = m_body.why;
        m_body = {};
        return false;
    }
    return true;
}

QByteArray CacheEntryFile::readBody(qint64 offset, qint64 length)
{
    QByteArray bytes;
    qint64 spanStart = 0;
    for (const CacheEntryReader::Span& span : m_body.spans) {
        if (length <= 0)
            break;
        const qint64 spanEnd = spanStart + span.length;
        if (offset < spanEnd) {
            const qint64 within = offset - spanStart;
            const qint64 take = qMin(length, span.length - within);
            if (!m_file.seek(span.fileOffset + within))
                break;
            const QByteArray part = m_file.read(take);
            bytes += part;
            if (part.size() != take)
                break;
            offset += take;
            length -= take;
        }
        spanStart = spanEnd;
    }
    return bytes;
}

qint64 CacheEntryFile::appendBody(QFile& out, qint64 offset)
{
    qint64 written = 0;
    while (offset < m_body.size) {
        const QByteArray block = readBody(offset, FileCopy::BlockSize);
        if (block.isEmpty())
            break;
        const qint64 put = out.write(block);
        if (put > 0)
            written += put;
        if (put != block.size())
            break;
        offset += block.size();
    }
    return written;
}
