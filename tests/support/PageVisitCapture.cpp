#include "support/PageVisitCapture.h"

#include "support/FrameBuilder.h"
#include "support/PcapFileWriter.h"

#include <QByteArray>
#include <QList>

namespace PageVisitCapture {

QString write(const QString& pcapFile)
{
    using Link = FrameBuilder::Link;
    PcapFileWriter writer(pcapFile, FrameBuilder::linkType(Link::LinuxCooked));
    const auto send = [&](quint16 from, quint16 to, const QByteArray& payload) {
        writer.write(FrameBuilder::frame({from, to, 1, payload, 12, Link::LinuxCooked}));
    };
    const QList<QByteArray> headers = {"Host: 127.0.0.1:8080", "User-Agent: Browser"};
    send(40000, 8080, FrameBuilder::requestText("/clip.mp4", headers));
    send(8080, 40000, FrameBuilder::responseText({"Content-Type: video/mp4"}));
    send(40000, 8080, FrameBuilder::requestText("/clip.mp4", headers)); // seen again: no new candidate
    send(8080, 40000, FrameBuilder::responseText({"Content-Type: video/mp4"}));
    send(40001, 80, FrameBuilder::requestText("/music/Song.mp3", headers));
    send(80, 40001, FrameBuilder::responseText({"Content-Type: audio/mpeg"}));
    return pcapFile;
}

} // namespace PageVisitCapture
