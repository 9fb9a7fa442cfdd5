#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdio>
#include <sys/types.h>

// One trawlix-capture process capturing one adapter, and the pipe its pcap stream arrives on.
// The helper holds the capture permission; this program never does. It writes the stream's
// 24-byte header as soon as the adapter is open and the frames after it; it ends when this
// object closes the pipe or ends it, and by itself when this process goes.
//
// The helper is found by one rule: <this program's folder>/TRAWLIX_CAPTURE_HELPER_DIR/
// trawlix-capture, which is ../libexec/trawlix/ both installed (/usr/bin/trawlix) and in the
// build tree (build/src/trawlix).
class CaptureHelper final
{
public:
    enum class State
    {
        Starting, // started, the adapter not open yet
        Open,     // the header has arrived: capturing
        Failed,   // did not start, or ended before its header (failure() says why)
    };

    static constexpr int kHeaderBytes = 24;

    // Starts the helper for one adapter; state() tells whether that worked.
    explicit CaptureHelper(const QString& adapter);
    ~CaptureHelper(); // ends the helper and reaps it
    CaptureHelper(const CaptureHelper&) = delete;
    CaptureHelper& operator=(const CaptureHelper&) = delete;

    // Where the helper program is; a test may point elsewhere (empty: the rule above).
    static QString program();
    static void setProgram(const QString& path);

    const QString& adapter() const { return m_adapter; }
    State state() const { return m_state; }
    QString failure() const { return m_failure; }
    // The pipe to wait on (-1 once failed).
    int descriptor() const { return m_stream; }
    // Reads what has arrived of the header without blocking; call when descriptor() is readable.
    State readHeader();
    // Ends the helper without reading its reason.
    void fail(const QString& why);

    // The stream from its header on, for pcap_fopen_offline; reads block until data arrives,
    // the helper ends, or `stop` is set (which reads as the end of the stream). The helper
    // must be Open; this object must outlive the stream.
    std::FILE* openStream(const std::atomic<bool>& stop);

    struct Cookie; // the stream's state, shared with the stdio callbacks

private:
    void end();
    QString readReason();

    QString m_adapter;
    State m_state = State::Failed;
    QString m_failure;
    pid_t m_pid = -1;
    int m_stream = -1;
    int m_errors = -1;
    QByteArray m_header;
    Cookie* m_cookie = nullptr;
};
