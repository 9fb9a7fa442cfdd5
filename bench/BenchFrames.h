#pragma once

#include <QByteArray>

#include <vector>

// Captured frames back to back, as the capture benchmarks generate them.
struct BenchFrames
{
    QByteArray bytes;
    std::vector<qsizetype> offsets{0}; // start of each frame, plus the end
    qsizetype frames() const { return qsizetype(offsets.size()) - 1; }
};

inline void benchPut16(QByteArray& out, quint16 v)
{
    out.append(char(v >> 8));
    out.append(char(v & 0xFF));
}

inline void benchPut32(QByteArray& out, quint32 v)
{
    benchPut16(out, quint16(v >> 16));
    benchPut16(out, quint16(v & 0xFFFF));
}

// Appends one Ethernet + IPv4 + TCP frame with timestamps (32 bytes), as Linux sends on lo;
// PSH + ACK unless other TCP flags are given.
inline void appendLoopbackFrame(BenchFrames& frames,
                                quint16 source,
                                quint16 destination,
                                quint32 sequence,
                                const QByteArray& payload,
                                quint8 flags = 0x18)
{
    QByteArray& out = frames.bytes;
    out.append(QByteArray(12, '\0'));
    benchPut16(out, 0x0800);
    out.append(char(0x45));
    out.append(char(0));
    benchPut16(out, quint16(20 + 32 + payload.size()));
    benchPut32(out, 0x00004000);
    out.append(char(64));
    out.append(char(6));
    benchPut16(out, 0);
    benchPut32(out, 0x7F000001);
    benchPut32(out, 0x7F000001);
    benchPut16(out, source);
    benchPut16(out, destination);
    benchPut32(out, sequence);
    benchPut32(out, 1);
    out.append(char(0x80));
    out.append(char(flags));
    benchPut16(out, 512);
    benchPut32(out, 0);
    out.append(QByteArray("\x01\x01\x08\x0a\x00\x00\x00\x01\x00\x00\x00\x02", 12));
    out.append(payload);
    frames.offsets.push_back(out.size());
}
