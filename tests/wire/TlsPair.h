#pragma once

#include "WireFrames.h"

#include <openssl/ssl.h>

#include <memory>
#include <string>
#include <vector>

// A TLS client and server of OpenSSL talking in memory, with a certificate made for the test.
// Everything they send is kept in order as the wire would carry it, and the client's secrets are
// kept as the NSS key log lines OpenSSL writes.
class TlsPair final
{
public:
    struct Options
    {
        int version = TLS1_3_VERSION;
        std::string suites13 = "TLS_AES_128_GCM_SHA256";        // SSL_CTX_set_ciphersuites
        std::string suites12 = "ECDHE-ECDSA-AES128-GCM-SHA256"; // SSL_CTX_set_cipher_list
        std::string serverName = "media.test";
        std::size_t helloPadding = 0; // an unknown ClientHello extension of this size
        bool retryRequest = false;    // the client offers no key share the server takes first
    };

    struct Chunk
    {
        bool fromClient;
        Bytes bytes;
    };

    explicit TlsPair(Options options);
    ~TlsPair();

    bool handshake();
    // Sends application data; the peer reads it (and anything else pending).
    void clientWrite(std::string_view text);
    void serverWrite(std::string_view text);
    void keyUpdate(bool fromClient);

    const std::vector<Chunk>& transcript() const { return m_transcript; }
    const std::string& keyLog() const { return m_keyLog; }
    const std::string& serverReceived() const { return m_serverReceived; }
    const std::string& clientReceived() const { return m_clientReceived; }

    // The transcript as frames of a TCP connection (opened first).
    std::vector<Bytes> frames(TcpConversation& conversation, std::size_t mss = 1460) const;

private:
    static void keyLogLine(const SSL* ssl, const char* line);
    void pump();
    void drain(SSL* ssl, std::string& into);

    SSL_CTX* m_clientContext = nullptr;
    SSL_CTX* m_serverContext = nullptr;
    SSL* m_client = nullptr;
    SSL* m_server = nullptr;
    BIO* m_clientOut = nullptr; // the client's writes, read by the test
    BIO* m_serverOut = nullptr;
    BIO* m_clientIn = nullptr; // written by the test, read by the client
    BIO* m_serverIn = nullptr;
    std::vector<Chunk> m_transcript;
    std::string m_keyLog;
    std::string m_serverReceived;
    std::string m_clientReceived;
};
