#include "support/PcapFileWriter.h"

#include <QtEndian>

namespace {

void put32(QFile& file, quint32 value)
{
    const quint32 little = qToLittleEndian(value);
    file.write(reinterpret_cast<const char*>(&little), sizeof little);
}

void put16(QFile& file, quint16 value)
{
    const quint16 little = qToLittleEndian(value);
    file.write(reinterpret_cast<const char*>(&little), sizeof little);
}

} // namespace

PcapFileWriter::PcapFileWriter(const QString& path, int linkType, quint32 snapshotLength)
    : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    put32(m_file, 0xA1B2C3D4);
    put16(m_file, 2);
    put16(m_file, 4);
    put32(m_file, 0); // time zone
    put32(m_file, 0); // accuracy
    put32(m_file, snapshotLength);
    put32(m_file, quint32(linkType));
}

void PcapFileWriter::write(const QByteArray& frame, quint32 wireLength)
{
    ++m_count;
    put32(m_file, 1700000000 + m_count / 1000);
    put32(m_file, (m_count % 1000) * 1000);
    put32(m_file, quint32(frame.size()));
    put32(m_file, wireLength ? wireLength : quint32(frame.size()));
    m_file.write(frame);
}
