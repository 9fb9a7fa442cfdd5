#include "TlsPair.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace {

int paddingAdd(
    SSL*, unsigned int, unsigned int, const unsigned char** out, size_t* length, X509*, size_t, int*, void* arg)
{
    const auto* size = static_cast<const std::size_t*>(arg);
    auto* bytes = static_cast<unsigned char*>(OPENSSL_zalloc(*size));
    *out = bytes;
    *length = *size;
    return 1;
}

void paddingFree(SSL*, unsigned int, unsigned int, const unsigned char* out, void*)
{
    OPENSSL_free(const_cast<unsigned char*>(out));
}

std::size_t g_padding = 0;

} // namespace

TlsPair::TlsPair(Options options)
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("media.test"), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());

    m_serverContext = SSL_CTX_new(TLS_server_method());
    m_clientContext = SSL_CTX_new(TLS_client_method());
    for (SSL_CTX* context : {m_serverContext, m_clientContext}) {
        SSL_CTX_set_min_proto_version(context, options.version);
        SSL_CTX_set_max_proto_version(context, options.version);
        SSL_CTX_set_ciphersuites(context, options.suites13.c_str());
        SSL_CTX_set_cipher_list(context, options.suites12.c_str());
    }
    SSL_CTX_use_certificate(m_serverContext, certificate);
    SSL_CTX_use_PrivateKey(m_serverContext, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    SSL_CTX_set_keylog_callback(m_clientContext, &TlsPair::keyLogLine);
    if (options.retryRequest) {
        SSL_CTX_set1_groups_list(m_clientContext, "X25519:P-256");
        SSL_CTX_set1_groups_list(m_serverContext, "P-256");
    }
    if (options.helloPadding > 0) {
        g_padding = options.helloPadding;
        SSL_CTX_add_custom_ext(m_clientContext, 0xFFA5, SSL_EXT_CLIENT_HELLO, paddingAdd, paddingFree, &g_padding,
                               nullptr, nullptr);
    }

    m_client = SSL_new(m_clientContext);
    m_server = SSL_new(m_serverContext);
    SSL_set_app_data(m_client, this);
    // SSL_set_tlsext_host_name, without the macro's C cast.
    SSL_ctrl(m_client, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
             const_cast<char*>(options.serverName.c_str()));
    m_clientIn = BIO_new(BIO_s_mem());
    m_clientOut = BIO_new(BIO_s_mem());
    m_serverIn = BIO_new(BIO_s_mem());
    m_serverOut = BIO_new(BIO_s_mem());
    SSL_set_bio(m_client, m_clientIn, m_clientOut);
    SSL_set_bio(m_server, m_serverIn, m_serverOut);
    SSL_set_connect_state(m_client);
    SSL_set_accept_state(m_server);
}

TlsPair::~TlsPair()
{
    SSL_free(m_client);
    SSL_free(m_server);
    SSL_CTX_free(m_clientContext);
    SSL_CTX_free(m_serverContext);
}

void TlsPair::keyLogLine(const SSL* ssl, const char* line)
{
    auto* pair = static_cast<TlsPair*>(SSL_get_app_data(ssl));
    pair->m_keyLog += line;
    pair->m_keyLog += '\n';
}

void TlsPair::pump()
{
    for (const auto& [out, in, fromClient] :
         {std::tuple{m_clientOut, m_serverIn, true}, std::tuple{m_serverOut, m_clientIn, false}}) {
        char buffer[16384];
        int count = 0;
        while ((count = BIO_read(out, buffer, sizeof buffer)) > 0) {
            m_transcript.push_back({fromClient, Bytes(buffer, buffer + count)});
            BIO_write(in, buffer, count);
        }
    }
}

bool TlsPair::handshake()
{
    for (int round = 0; round < 20; ++round) {
        const int client = SSL_do_handshake(m_client);
        pump();
        const int server = SSL_do_handshake(m_server);
        pump();
        if (client == 1 && server == 1) {
            drain(m_client, m_clientReceived); // session tickets
            pump();
            return true;
        }
    }
    return false;
}

void TlsPair::drain(SSL* ssl, std::string& into)
{
    char buffer[16384];
    int count = 0;
    while ((count = SSL_read(ssl, buffer, sizeof buffer)) > 0)
        into.append(buffer, std::size_t(count));
}

void TlsPair::clientWrite(std::string_view text)
{
    SSL_write(m_client, text.data(), int(text.size()));
    pump();
    drain(m_server, m_serverReceived);
    pump();
}

void TlsPair::serverWrite(std::string_view text)
{
    SSL_write(m_server, text.data(), int(text.size()));
    pump();
    drain(m_client, m_clientReceived);
    pump();
}

void TlsPair::keyUpdate(bool fromClient)
{
    SSL* ssl = fromClient ? m_client : m_server;
    SSL_key_update(ssl, SSL_KEY_UPDATE_NOT_REQUESTED);
    SSL_do_handshake(ssl);
    pump();
    drain(fromClient ? m_server : m_client, fromClient ? m_serverReceived : m_clientReceived);
    pump();
}

std::vector<Bytes> TlsPair::frames(TcpConversation& conversation, std::size_t mss) const
{
    std::vector<Bytes> frames = conversation.open();
    for (const Chunk& chunk : m_transcript) {
        for (Bytes& frame : conversation.send(chunk.fromClient, chunk.bytes, mss))
            frames.push_back(std::move(frame));
    }
    return frames;
}
