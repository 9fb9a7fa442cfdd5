#pragma once

#include "support/TestBrowser.h"

#include <QString>

#include <gtest/gtest.h>

#include <string>

// The TLS set-ups every HTTPS test goes through with each real browser: TLS 1.3 with HTTP/2 and
// TLS 1.2 with HTTP/1.1 (nginx's ssl_protocols and http2).
struct HttpsCase
{
    TestBrowser::Kind browser;
    const char* protocol; // nginx's ssl_protocols
    bool http2;
};

// "Chromium_TLS13_HTTP2", "Firefox_TLS12_HTTP1"...
inline std::string httpsCaseName(const ::testing::TestParamInfo<HttpsCase>& row)
{
    return TestBrowser::name(row.param.browser).section(QLatin1Char('-'), 0, 0).toStdString() +
           (row.param.http2 ? "_TLS13_HTTP2" : "_TLS12_HTTP1");
}

inline auto httpsCases()
{
    return ::testing::Values(HttpsCase{TestBrowser::Kind::Chromium, "TLSv1.3", true},
                             HttpsCase{TestBrowser::Kind::Chromium, "TLSv1.2", false},
                             HttpsCase{TestBrowser::Kind::Firefox, "TLSv1.3", true},
                             HttpsCase{TestBrowser::Kind::Firefox, "TLSv1.2", false});
}
