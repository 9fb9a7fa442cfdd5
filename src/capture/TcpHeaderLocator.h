#pragma once

#include "capture/ByteView.h"

// Finds the TCP header of an HTTP message without parsing the link or IP layer: the frame may
// come from any link type, so the header is found by its port (80 or 8080) and confirmed by its
// data offset. Returns the header's start, or -1 when no header can lie inside the frame.
namespace TcpHeaderLocator {

// For a request whose "GET /" stands at `at`: the destination port stands 2 bytes into the
// header, and the header's length must equal the distance from its start to `at`.
qsizetype forRequest(const ByteView& frame, qsizetype at);

// For a response whose "HTTP/" stands at `at`: the same search for the source port, which
// stands at the header's start.
qsizetype forResponse(const ByteView& frame, qsizetype at);

} // namespace TcpHeaderLocator
