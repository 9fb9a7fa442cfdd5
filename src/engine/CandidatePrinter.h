#pragma once

#include "capture/PacketCapture.h"
#include "model/VideoFile.h"

#include <QObject>

#include <cstdio>

class Engine;

// The headless view of capture: one line per new candidate on the given stream, fields
// separated by tabs (state, base name, URL, extension, title), each with its control characters
// escaped (UntrustedText::forTerminal). When a capture file has been
// read to its end the event loop is ended (exit code 0; 1 when the file cannot be read).
class CandidatePrinter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CandidatePrinter)

public:
    CandidatePrinter(Engine& engine, std::FILE* out, bool quitAtEndOfFile, QObject* parent = nullptr);

    // The line printed for a record, without its line end.
    static QString line(const VideoFile& record);

private:
    void print(qsizetype index, const VideoFile& record);
    void captureEnded(PacketCapture::Outcome outcome);

    std::FILE* m_out;
    bool m_quitAtEndOfFile;
};
