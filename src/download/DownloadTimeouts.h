#pragma once

#include <chrono>

// Every time-out and pause of the probe and the download engine in one place. The defaults
// are the program's; tests inject short ones to reach the time-out paths quickly.
struct DownloadTimeouts
{
    using ms = std::chrono::milliseconds;

    ms probePass{500};      // pause between passes over the records
    ms probeConnect{15000}; // the probe's connect, send and receive time-outs
    ms probeReceive{15000};
    ms downloadConnect{60000};  // a download part's connect and send time-outs
    ms downloadReceive{120000}; // ... and its receive time-out
    ms contentType{1000};       // GetContentType: connect, send and receive
    ms htmlPage{30000};         // the page address when it is an HTML page
    ms plainHistoryPage{15000}; // request-history entries without query characters
    ms otherHistoryPage{1000};  // the other request-history entries
    ms favIcon{3000};
};
