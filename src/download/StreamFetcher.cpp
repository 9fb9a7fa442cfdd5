#include "download/StreamFetcher.h"

#include "base/Trace.h"
#include "download/HttpRequest.h"
#include "streams/StreamPlanBuilder.h"

#include <QMutexLocker>

#include <openssl/evp.h>

#include <memory>

StreamFetcher::StreamFetcher(const VideoFile& record, const DownloadTimeouts& timeouts, const std::atomic<bool>* stop)
    : m_record(record)
    , m_timeouts(timeouts)
    , m_stop(stop)
{}

QString StreamFetcher::failureReason(int httpError)
{
    return httpError == HttpError::Timeout ? QStringLiteral("Timeout") : QStringLiteral("Conn err");
}

std::optional<QByteArray>
StreamFetcher::decryptAes128(const QByteArray& data, const QByteArray& key, const QByteArray& iv)
{
    if (key.size() != 16 || iv.size() != 16 || data.isEmpty() || data.size() % 16 != 0)
        return std::nullopt;
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                                  &EVP_CIPHER_CTX_free);
    if (!context || EVP_DecryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr,
                                       reinterpret_cast<const unsigned char*>(key.data()),
                                       reinterpret_cast<const unsigned char*>(iv.data())) != 1)
        return std::nullopt;
    QByteArray plain(data.size() + 16, Qt::Uninitialized);
    int written = 0;
    int last = 0;
    if (EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &written,
                          reinterpret_cast<const unsigned char*>(data.data()), int(data.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(plain.data()) + written, &last) != 1)
        return std::nullopt;
    plain.resize(written + last);
    return plain;
}

StreamFetcher::Fetched
StreamFetcher::fetch(const QUrl& url, const std::optional<ByteRange>& range, qint64 limit, CurlEasy* connection) const
{
    Fetched fetched;
    HttpRequest::Options options;
    options.url = url.toString(QUrl::FullyEncoded);
    // The browser's headers; cookies come from the process-wide store, filled from the record.
    options.headers = {"User-Agent: " + m_record.userAgent.toLatin1(), "Referer: " + m_record.referer.toLatin1(),
                       "Accept-Language: " + m_record.acceptLanguage.toLatin1()};
    if (range)
        options.headers.prepend("Range: bytes=" + QByteArray::number(range->offset) + '-' +
                                QByteArray::number(range->last()));
    options.connectTimeout = m_timeouts.downloadConnect;
    options.receiveTimeout = m_timeouts.downloadReceive;
    options.abort = m_stop;
    options.connection = connection;
    bool tooBig = false;
    HttpRequest request(options);
    const HttpResult result = request.perform([](const HttpResponseHead&) { return true; },
                                              [&](const char* data, qsizetype size) {
                                                  if (fetched.bytes.size() + size > limit) {
                                                      tooBig = true;
                                                      return false;
                                                  }
                                                  fetched.bytes.append(data, size);
                                                  return true;
                                              });
    fetched.status = result.headReceived ? result.head.status : 0;
    fetched.error = result.error;
    if (tooBig || (result.stoppedByCaller && fetched.error == HttpError::None))
        fetched.error = HttpError::ConnectionClosed;
    // A range asked for and the whole resource answered: the bytes are not the ones wanted.
    if (range && fetched.status == 200)
        fetched.bytes = fetched.bytes.mid(range->offset, range->length);
    return fetched;
}

StreamFetcher::Fetched StreamFetcher::fetchWithRetries(const QUrl& url,
                                                       const std::optional<ByteRange>& range,
                                                       qint64 limit,
                                                       CurlEasy* connection) const
{
    Fetched fetched;
    for (int attempt = 1; attempt <= kAttempts && !stopped(); ++attempt) {
        fetched = fetch(url, range, limit, connection);
        if (fetched.ok())
            return fetched;
        trace(QStringLiteral("Stream request failed (attempt %1): %2").arg(attempt).arg(url.toString()));
    }
    if (fetched.error == HttpError::None)
        fetched.error = HttpError::ConnectionClosed; // answered, but not with the bytes
    return fetched;
}

StreamFetcher::Planned
StreamFetcher::buildPlan(StreamVariantChoice choice, const QDateTime& now, CurlEasy* connection) const
{
    Planned planned;
    StreamPlanBuilder builder(m_record.stream == VideoFile::Stream::Dash ? StreamFormat::Dash : StreamFormat::Hls,
                              QUrl(m_record.url), choice, {}, now);
    QString fetchFailure;
    while (!builder.finished()) {
        if (stopped()) {
            planned.stopped = true;
            return planned;
        }
        for (const StreamFetch& wanted : builder.pending()) {
            const Fetched fetched = fetchWithRetries(wanted.url, wanted.range, kLargestPlaylist, connection);
            if (fetched.ok())
                builder.supply(wanted, fetched.bytes);
            else
                builder.fail(wanted, fetchFailure = failureReason(fetched.error));
        }
    }
    if (builder.error()) {
        const StreamError& error = *builder.error();
        planned.reason = error.code == StreamError::Code::FetchFailed ? fetchFailure : error.text;
        return planned;
    }
    planned.plan = builder.plan();
    return planned;
}

std::optional<QByteArray>
StreamFetcher::decrypted(const QByteArray& bytes, const SegmentKey& key, QString& reason, CurlEasy* connection)
{
    if (key.method == SegmentKey::Method::None)
        return bytes;
    QByteArray value;
    {
        QMutexLocker lock(&m_keysMutex);
        value = m_keys.value(key.url);
    }
    if (value.isEmpty()) {
        const Fetched fetched = fetchWithRetries(key.url, std::nullopt, kLargestKey, connection);
        if (!fetched.ok()) {
            reason = failureReason(fetched.error);
            return std::nullopt;
        }
        value = fetched.bytes;
        QMutexLocker lock(&m_keysMutex);
        if (m_keys.size() >= kMostKeys)
            m_keys.clear();
        m_keys.insert(key.url, value);
    }
    std::optional<QByteArray> plain = decryptAes128(bytes, value, key.iv);
    if (!plain)
        reason = QStringLiteral("Conn err"); // not the bytes the key was made for
    return plain;
}
