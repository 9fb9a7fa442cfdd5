#include "capture/PacketCapture.h"

#include "base/Trace.h"

#include <pcap/pcap.h>
#include <poll.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace {

constexpr int kPollMs = 250;

struct PcapCloser
{
    void operator()(pcap_t* handle) const { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

struct DeviceListFree
{
    void operator()(pcap_if_t* list) const { pcap_freealldevs(list); }
};

// Opens one adapter for whole frames, promiscuous, with the large buffer and immediate
// delivery (otherwise frames arrive up to the read time-out late), non-blocking so that the
// loop can wait on its descriptor together with a stop request.
PcapHandle openAdapter(const QString& name, QString* why = nullptr)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(pcap_create(name.toLocal8Bit().constData(), error));
    if (!handle) {
        const QString reason = QString::fromLocal8Bit(error);
        trace(QStringLiteral("Func: capture, cannot create %1: %2").arg(name, reason));
        if (why)
            *why = reason;
        return {};
    }
    pcap_t* h = handle.get();
    pcap_set_snaplen(h, PacketCapture::kSnapshotLength);
    pcap_set_promisc(h, 1);
    pcap_set_timeout(h, PacketCapture::kReadTimeoutMs);
    pcap_set_buffer_size(h, PacketCapture::kBufferBytes);
    pcap_set_immediate_mode(h, 1);
    const int activated = pcap_activate(h);
    if (activated < 0) {
        const QString reason = QString::fromLocal8Bit(pcap_geterr(h));
        trace(QStringLiteral("Func: capture, cannot open %1: %2").arg(name, reason));
        if (why)
            *why = reason.isEmpty() ? QString::fromLocal8Bit(pcap_statustostr(activated)) : reason;
        return {};
    }
    if (pcap_setnonblock(h, 1, error) != 0 || pcap_get_selectable_fd(h) < 0) {
        if (why)
            *why = QStringLiteral("no selectable descriptor");
        return {};
    }
    return handle;
}

} // namespace

PacketCapture::PacketCapture(Source source, FrameSink sink, const std::atomic<bool>& monitoring, QObject* parent)
    : QThread(parent)
    , m_source(std::move(source))
    , m_sink(std::move(sink))
    , m_monitoring(monitoring)
{
    setObjectName(QStringLiteral("Capture"));
}

PacketCapture::~PacketCapture()
{
    requestStop();
    wait();
}

QString PacketCapture::chosenAdapter() const
{
    QMutexLocker lock(&m_chosenMutex);
    return m_chosen;
}

void PacketCapture::setChosen(const QString& name)
{
    {
        QMutexLocker lock(&m_chosenMutex);
        m_chosen = name;
    }
    emit adapterChosen(name);
}

bool PacketCapture::isPseudoDevice(const QString& name)
{
    static const char* const kExact[] = {"any", "nflog", "nfqueue"};
    static const char* const kPrefixes[] = {"dbus-", "bluetooth", "usbmon"};
    for (const char* exact : kExact) {
        if (name == QLatin1String(exact))
            return true;
    }
    for (const char* prefix : kPrefixes) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

quint16 PacketCapture::handedLength(quint32 wireLength, quint32 capturedLength)
{
    const auto length = quint16(wireLength & 0xFFFFu);
    return capturedLength < length ? quint16(capturedLength) : length;
}

QString PacketCapture::probeAdapter(const QString& name)
{
    QString why;
    return openAdapter(name, &why) ? QString() : (why.isEmpty() ? QStringLiteral("cannot open") : why);
}

void PacketCapture::run()
{
    m_outcome.store(m_source.pcapFile.isEmpty() ? runLive() : runFile());
    trace(QStringLiteral("Func: capture, ended with outcome %1").arg(int(m_outcome.load())));
}

PacketCapture::Outcome PacketCapture::runFile()
{
    char error[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(pcap_open_offline(m_source.pcapFile.toLocal8Bit().constData(), error));
    if (!handle)
        return Outcome::FileUnreadable;
    setChosen(m_source.pcapFile);
    return readLoop(handle.get(), false);
}

PacketCapture::Outcome PacketCapture::runLive()
{
    std::vector<PcapHandle> handles;
    std::vector<QString> names;
    if (!m_source.interfaceName.isEmpty()) {
        // A named adapter is opened as named, even one the device list does not show.
        if (PcapHandle handle = openAdapter(m_source.interfaceName)) {
            handles.push_back(std::move(handle));
            names.push_back(m_source.interfaceName);
        }
    } else {
        char error[PCAP_ERRBUF_SIZE] = {};
        pcap_if_t* first = nullptr;
        if (pcap_findalldevs(&first, error) != 0 || !first)
            return Outcome::NoDevices;
        const std::unique_ptr<pcap_if_t, DeviceListFree> list(first);
        // One adapter that cannot be opened does not end capture: it is skipped like the
        // pseudo devices and adapters that are down.
        for (pcap_if_t* device = first; device && int(handles.size()) < kMaxAdapters; device = device->next) {
            const QString name = QString::fromLocal8Bit(device->name);
            if (isPseudoDevice(name) || !(device->flags & PCAP_IF_UP))
                continue;
            if (PcapHandle handle = openAdapter(name)) {
                handles.push_back(std::move(handle));
                names.push_back(name);
            }
        }
    }
    if (handles.empty())
        return Outcome::NoAdapterOpened;
    m_opened.store(int(handles.size()));

    std::vector<pollfd> waits;
    for (const PcapHandle& handle : handles)
        waits.push_back(pollfd{pcap_get_selectable_fd(handle.get()), POLLIN, 0});
    qsizetype chosen = -1;
    while (chosen < 0) {
        if (m_stop.load())
            return Outcome::Stopped;
        const int ready = poll(waits.data(), waits.size(), kPollMs);
        if (ready < 0 && errno != EINTR)
            return Outcome::ReadError;
        for (size_t i = 0; i < waits.size() && chosen < 0; ++i) {
            if (waits[i].revents & (POLLIN | POLLERR | POLLHUP))
                chosen = qsizetype(i);
        }
    }
    // The others are never read again; closing them returns their kernel buffers at once.
    PcapHandle reading = std::move(handles[size_t(chosen)]);
    handles.clear();
    setChosen(names[size_t(chosen)]);
    return readLoop(reading.get(), true);
}

PacketCapture::Outcome PacketCapture::readLoop(void* opaque, bool live)
{
    auto* handle = static_cast<pcap_t*>(opaque);
    pollfd wait{live ? pcap_get_selectable_fd(handle) : -1, POLLIN, 0};
    while (!m_stop.load()) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(handle, &header, &data);
        if (result == 1) {
            deliver(header, data);
            continue;
        }
        if (result == PCAP_ERROR_BREAK)
            return Outcome::EndOfFile;
        if (result < 0)
            return Outcome::ReadError;
        // Nothing waiting: sleep on the descriptor, but wake for a stop request.
        if (live && poll(&wait, 1, kPollMs) < 0 && errno != EINTR)
            return Outcome::ReadError;
    }
    return Outcome::Stopped;
}

void PacketCapture::deliver(const void* opaque, const quint8* data)
{
    const auto* header = static_cast<const pcap_pkthdr*>(opaque);
    if (!m_monitoring.load(std::memory_order_relaxed) || !m_sink)
        return;
    m_sink(data, handedLength(header->len, header->caplen));
}
