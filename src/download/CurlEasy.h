#pragma once

#include <curl/curl.h>

// Owns one libcurl easy handle (null when libcurl could not make one).
class CurlEasy final
{
public:
    CurlEasy()
        : m_easy(curl_easy_init())
    {}
    ~CurlEasy()
    {
        if (m_easy)
            curl_easy_cleanup(m_easy);
    }
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    CURL* get() const { return m_easy; }

private:
    CURL* m_easy;
};
