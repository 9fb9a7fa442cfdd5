#pragma once

#include <QByteArray>

// Builds captured frames the way adapters deliver them: a link-layer header, an IP header and
// a TCP header (with optional option bytes) in front of a payload. Checksums are left zero;
// nothing in Trawlix reads them.
class FrameBuilder final
{
public:
    enum class Link
    {
        Ethernet,    // DLT_EN10MB, IPv4
        EthernetV6,  // DLT_EN10MB, IPv6
        LinuxCooked, // DLT_LINUX_SLL, IPv4 (the "any" device)
        RawIp,       // DLT_RAW, IPv4
    };

    struct Segment
    {
        quint16 sourcePort = 0;
        quint16 destinationPort = 0;
        quint32 sequence = 0;
        QByteArray payload;
        int optionBytes = 12; // TCP options, a multiple of 4 (12: timestamps, as Linux sends)
        Link link = Link::Ethernet;
    };

    static QByteArray frame(const Segment& segment);

    // A request from the client port to the server port: "GET path HTTP/1.1" with the given
    // header lines (each without its line end) and the blank line unless `terminated` is false.
    static QByteArray requestText(const QByteArray& path, const QList<QByteArray>& headers, bool terminated = true);
    // A response header: "HTTP/1.1 200 OK" and the given header lines, then the blank line.
    static QByteArray responseText(const QList<QByteArray>& headers);

    // The pcap link-type number of a link.
    static int linkType(Link link);
};
