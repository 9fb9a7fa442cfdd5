#include "support/FrameBuilder.h"

#include <QList>

namespace {

void put16(QByteArray& out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

void put32(QByteArray& out, quint32 value)
{
    put16(out, quint16(value >> 16));
    put16(out, quint16(value & 0xFFFF));
}

QByteArray tcpHeader(const FrameBuilder::Segment& segment)
{
    QByteArray tcp;
    put16(tcp, segment.sourcePort);
    put16(tcp, segment.destinationPort);
    put32(tcp, segment.sequence);
    put32(tcp, 0x01020304); // acknowledgement
    const int length = 20 + segment.optionBytes;
    tcp.append(char((length / 4) << 4));
    tcp.append(char(0x18)); // PSH ACK
    put16(tcp, 512);        // window
    put16(tcp, 0);          // checksum
    put16(tcp, 0);          // urgent
    for (int i = 0; i < segment.optionBytes; ++i)
        tcp.append(char(1)); // no-operation options
    return tcp;
}

QByteArray ipv4(int payloadLength)
{
    QByteArray ip;
    ip.append(char(0x45));
    ip.append(char(0));
    put16(ip, quint16(20 + payloadLength));
    put32(ip, 0x12344000); // id, don't fragment
    ip.append(char(64));
    ip.append(char(6)); // TCP
    put16(ip, 0);
    put32(ip, 0x7F000001);
    put32(ip, 0x7F000001);
    return ip;
}

QByteArray ipv6(int payloadLength)
{
    QByteArray ip;
    put32(ip, 0x60000000);
    put16(ip, quint16(payloadLength));
    ip.append(char(6));
    ip.append(char(64));
    for (int address = 0; address < 2; ++address) {
        ip.append(QByteArray(15, '\0'));
        ip.append(char(1));
    }
    return ip;
}

} // namespace

QByteArray FrameBuilder::frame(const Segment& segment)
{
    const QByteArray tcp = tcpHeader(segment) + segment.payload;
    const bool v6 = segment.link == Link::EthernetV6;
    const QByteArray ip = (v6 ? ipv6(int(tcp.size())) : ipv4(int(tcp.size()))) + tcp;
    QByteArray link;
    switch (segment.link) {
    case Link::Ethernet:
    case Link::EthernetV6:
        link = QByteArray(12, '\0');
        put16(link, v6 ? 0x86DD : 0x0800);
        break;
    case Link::LinuxCooked:
        put16(link, 0);   // packet type: to us
        put16(link, 772); // loopback
        put16(link, 6);
        link.append(QByteArray(8, '\0'));
        put16(link, 0x0800);
        break;
    case Link::RawIp:
        break;
    }
    return link + ip;
}

QByteArray FrameBuilder::requestText(const QByteArray& path, const QList<QByteArray>& headers, bool terminated)
{
    QByteArray text = "GET " + path + " HTTP/1.1\r\n";
    for (const QByteArray& header : headers)
        text += header + "\r\n";
    if (terminated)
        text += "\r\n";
    return text;
}

QByteArray FrameBuilder::responseText(const QList<QByteArray>& headers)
{
    QByteArray text = "HTTP/1.1 200 OK\r\n";
    for (const QByteArray& header : headers)
        text += header + "\r\n";
    return text + "\r\n";
}

int FrameBuilder::linkType(Link link)
{
    switch (link) {
    case Link::Ethernet:
    case Link::EthernetV6:
        return 1;
    case Link::LinuxCooked:
        return 113;
    case Link::RawIp:
        return 101;
    }
    return 1;
}
