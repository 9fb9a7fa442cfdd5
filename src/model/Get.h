#pragma once

#include "base/SharedArray.h"

#include <QString>

// One HTTP request seen on the wire. The text is the request's bytes from "GET /" to the end of
// its frame, one byte widened to one character, followed by the payloads of later continuation
// segments. Ports are the port numbers of the TCP header (client = source, server = destination).
struct Get
{
    QString requestText;
    quint16 clientPort = 0;
    quint16 serverPort = 0;
    quint32 firstSequence = 0; // host byte order
    bool complete = false;     // "\r\n\r\n" seen
};

// Every request of the run, appended only, newest last.
using GetArray = SharedArray<Get>;

// Addresses of "text/html" pages seen, appended only, newest last; duplicates allowed.
using HistoryArray = SharedArray<QString>;
