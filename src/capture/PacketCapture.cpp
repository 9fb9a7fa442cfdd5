#include "capture/PacketCapture.h"

#include "base/Trace.h"
#include "capture/CaptureHelper.h"

#include <pcap/pcap.h>
#include <poll.h>

#include <QDeadlineTimer>

#include <cerrno>
#include <memory>
#include <vector>

namespace {

constexpr int kPollMs = 250;
// A helper that has not opened its adapter by then is given up.
constexpr int kOpeningMs = 10000;

struct PcapCloser
{
    void operator()(pcap_t* handle) const { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

struct DeviceListFree
{
    void operator()(pcap_if_t* list) const { pcap_freealldevs(list); }
};

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
    std::vector<std::unique_ptr<CaptureHelper>> helpers;
    helpers.push_back(std::make_unique<CaptureHelper>(name));
    const std::atomic<bool> never{false};
    waitUntilOpen(helpers, never);
    const CaptureHelper& helper = *helpers.front();
    return helper.state() == CaptureHelper::State::Open ? QString() : helper.failure();
}

void PacketCapture::run()
{
    m_outcome.store(m_source.pcapFile.isEmpty() ? runLive() : runFile());
    if (m_endHook)
        m_endHook();
    trace(QStringLiteral("Func: capture, ended with outcome %1").arg(int(m_outcome.load())));
}

PacketCapture::Outcome PacketCapture::runFile()
{
    char error[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(pcap_open_offline(m_source.pcapFile.toLocal8Bit().constData(), error));
    if (!handle)
        return Outcome::FileUnreadable;
    setChosen(m_source.pcapFile);
    return readLoop(handle.get());
}

void PacketCapture::waitUntilOpen(std::vector<std::unique_ptr<CaptureHelper>>& helpers, const std::atomic<bool>& stop)
{
    const QDeadlineTimer deadline(kOpeningMs);
    for (;;) {
        std::vector<pollfd> waits;
        std::vector<CaptureHelper*> starting;
        for (const auto& helper : helpers) {
            if (helper->state() == CaptureHelper::State::Starting) {
                waits.push_back(pollfd{helper->descriptor(), POLLIN, 0});
                starting.push_back(helper.get());
            }
        }
        if (starting.empty())
            return;
        if (stop.load() || deadline.hasExpired()) {
            for (CaptureHelper* helper : starting)
                helper->fail(QStringLiteral("the adapter did not open in time"));
            return;
        }
        if (poll(waits.data(), waits.size(), kPollMs) < 0 && errno != EINTR)
            return;
        for (size_t i = 0; i < waits.size(); ++i) {
            if (waits[i].revents != 0)
                starting[i]->readHeader();
        }
    }
}

PacketCapture::Outcome PacketCapture::runLive()
{
    // The adapters are opened by the capture helper, one process per adapter, so that this
    // program never holds the permission to capture; each hands its frames over as a pcap
    // stream, read below like a capture file.
    std::vector<std::unique_ptr<CaptureHelper>> helpers;
    if (!m_source.interfaceName.isEmpty()) {
        // A named adapter is opened as named, even one the device list does not show.
        helpers.push_back(std::make_unique<CaptureHelper>(m_source.interfaceName));
    } else {
        // Listing the adapters takes no permission.
        char error[PCAP_ERRBUF_SIZE] = {};
        pcap_if_t* first = nullptr;
        if (pcap_findalldevs(&first, error) != 0 || !first)
            return Outcome::NoDevices;
        const std::unique_ptr<pcap_if_t, DeviceListFree> list(first);
        // One adapter that cannot be opened does not end capture: it is skipped like the
        // pseudo devices and adapters that are down.
        for (pcap_if_t* device = first; device && int(helpers.size()) < kMaxAdapters; device = device->next) {
            const QString name = QString::fromLocal8Bit(device->name);
            if (!isPseudoDevice(name) && (device->flags & PCAP_IF_UP))
                helpers.push_back(std::make_unique<CaptureHelper>(name));
        }
    }
    waitUntilOpen(helpers, m_stop);
    std::erase_if(helpers, [](const auto& helper) { return helper->state() != CaptureHelper::State::Open; });
    if (m_stop.load())
        return Outcome::Stopped;
    if (helpers.empty())
        return Outcome::NoAdapterOpened;
    m_opened.store(int(helpers.size()));

    // The first adapter with a frame after its header is the one read; a helper that ends
    // (its adapter went away) counts as chosen too, and its read reports the error.
    std::vector<pollfd> waits;
    for (const auto& helper : helpers)
        waits.push_back(pollfd{helper->descriptor(), POLLIN, 0});
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
    // The others are never read again; ending them returns their kernel buffers at once.
    std::unique_ptr<CaptureHelper> reading = std::move(helpers[size_t(chosen)]);
    helpers.clear();
    std::FILE* stream = reading->openStream(m_stop);
    if (!stream)
        return Outcome::ReadError;
    char error[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(pcap_fopen_offline(stream, error));
    if (!handle) {
        std::fclose(stream);
        return m_stop.load() ? Outcome::Stopped : Outcome::ReadError;
    }
    setChosen(reading->adapter());
    const Outcome outcome = readLoop(handle.get());
    // The stream ends with the helper: asked to, or because it failed.
    if (outcome == Outcome::EndOfFile || outcome == Outcome::ReadError)
        return m_stop.load() ? Outcome::Stopped : Outcome::ReadError;
    return outcome;
}

PacketCapture::Outcome PacketCapture::readLoop(void* opaque)
{
    auto* handle = static_cast<pcap_t*>(opaque);
    m_linkType = pcap_datalink(handle);
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
    }
    return Outcome::Stopped;
}

void PacketCapture::deliver(const void* opaque, const quint8* data)
{
    const auto* header = static_cast<const pcap_pkthdr*>(opaque);
    if (!m_monitoring.load(std::memory_order_relaxed) || !m_sink)
        return;
    m_sink(data, handedLength(header->len, header->caplen));
    if (m_wireSink) {
        const qint64 time = qint64(header->ts.tv_sec) * 1'000'000 + qint64(header->ts.tv_usec);
        m_wireSink(m_linkType, time, data, header->caplen);
    }
}
