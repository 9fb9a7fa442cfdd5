#pragma once

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class CaptureHelper;

// The capture thread: captures the network adapters (or one named adapter) through the capture
// helper, one helper process per adapter, or reads a capture file; takes the first adapter that
// delivers a frame and hands every frame read from it to the frame sink while the monitoring
// switch is on. A helper's frames arrive as a pcap stream and are read as a capture file is.
// Failures end the thread quietly; outcome() tells why it ended, for diagnosis and tests.
class PacketCapture final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PacketCapture)

public:
    using FrameSink = std::function<void(const quint8* frame, quint16 length)>;
    // Every delivered frame once more, whole, with its pcap link type and capture time in
    // microseconds since 1970 (for the wire decoder).
    using WireSink = std::function<void(int linkType, qint64 timeUs, const quint8* frame, quint32 capturedLength)>;

    struct Source
    {
        QString pcapFile;      // read this capture file instead of live traffic
        QString interfaceName; // live: this adapter only (empty: every adapter)
    };

    enum class Outcome
    {
        Running,
        NoDevices,       // the device list failed or was empty
        NoAdapterOpened, // no adapter could be opened (rights, driver, name)
        FileUnreadable,
        EndOfFile,
        ReadError,
        Stopped,
    };

    static constexpr int kMaxAdapters = 12;

    PacketCapture(Source source, FrameSink sink, const std::atomic<bool>& monitoring, QObject* parent = nullptr);
    ~PacketCapture() override; // stops and waits

    // Set before start(); called on the capture thread after the frame sink.
    void setWireSink(WireSink sink) { m_wireSink = std::move(sink); }
    // Called on the capture thread once the reading has ended, however it ended. Set before start().
    void setEndHook(std::function<void()> hook) { m_endHook = std::move(hook); }

    // Asks the loop to end; it notices within a quarter of a second.
    void requestStop() { m_stop.store(true); }

    Outcome outcome() const { return m_outcome.load(); }
    // Adapters open and waiting for traffic (0 until the thread has opened them).
    int openedAdapters() const { return m_opened.load(); }
    QString chosenAdapter() const;

    // Entries of the device list that are not network adapters carrying the user's traffic
    // (the all-devices pseudo device, netfilter queues, D-Bus, Bluetooth and USB monitors).
    static bool isPseudoDevice(const QString& name);

    // The length handed to the analyser: the wire length modulo 65536, but never more than
    // the bytes actually captured.
    static quint16 handedLength(quint32 wireLength, quint32 capturedLength);

    // Opens and closes one adapter as the capture would (through the helper): empty when that
    // works, else why not.
    static QString probeAdapter(const QString& name);

signals:
    void adapterChosen(const QString& name);

protected:
    void run() override;

private:
    Outcome runLive();
    Outcome runFile();
    Outcome readLoop(void* handle);
    // Waits until each helper has opened its adapter or failed (or the stop is set).
    static void waitUntilOpen(std::vector<std::unique_ptr<CaptureHelper>>& helpers, const std::atomic<bool>& stop);
    void deliver(const void* header, const quint8* data);
    int m_linkType = 0;
    WireSink m_wireSink;
    std::function<void()> m_endHook;

    Source m_source;
    FrameSink m_sink;
    const std::atomic<bool>& m_monitoring;
    std::atomic<bool> m_stop{false};
    std::atomic<Outcome> m_outcome{Outcome::Running};
    std::atomic<int> m_opened{0};
    void setChosen(const QString& name);

    mutable QMutex m_chosenMutex;
    QString m_chosen;
};
