#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes a classic pcap file (microsecond time stamps, little-endian) frame by frame.
class PcapFileWriter final
{
public:
    PcapFileWriter(const QString& path, int linkType, quint32 snapshotLength = 65536);

    bool isOpen() const { return m_file.isOpen(); }
    // Writes one frame; `wireLength` (0: the frame's size) may exceed the bytes stored.
    void write(const QByteArray& frame, quint32 wireLength = 0);
    void close() { m_file.close(); }

private:
    QFile m_file;
    quint32 m_count = 0;
};
