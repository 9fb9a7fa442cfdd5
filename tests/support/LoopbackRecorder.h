#pragma once

#include <QProcess>
#include <QString>

// A capture file of one port's traffic on "lo", written by dumpcap while a test's browser plays:
// the reference that the program's --pcap path and tshark read.
class LoopbackRecorder final
{
public:
    LoopbackRecorder() = default;
    ~LoopbackRecorder();
    LoopbackRecorder(const LoopbackRecorder&) = delete;
    LoopbackRecorder& operator=(const LoopbackRecorder&) = delete;

    static bool installed(); // dumpcap is on PATH

    // Starts recording TCP port `port` into file and waits until dumpcap captures. False with
    // error() set when it cannot (capture not permitted, most often).
    bool start(const QString& file, quint16 port);
    // Lets the last frames in, then ends dumpcap; false when it did not end cleanly.
    bool stop();
    QString error() const { return m_error; }

private:
    QProcess m_dumpcap;
    QString m_error;
};
