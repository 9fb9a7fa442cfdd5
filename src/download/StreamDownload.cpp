#include "download/StreamDownload.h"

#include "base/Trace.h"
#include "download/CookieJar.h"
#include "download/HttpRequest.h"
#include "streams/StreamPlanBuilder.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <openssl/evp.h>

#include <memory>
#include <thread>
#include <vector>

StreamDownload::StreamDownload(VideoFile record,
                               QString folder,
                               StreamVariantChoice choice,
                               const std::atomic<bool>* stop)
    : m_record(std::move(record))
    , m_folder(std::move(folder))
    , m_choice(choice)
    , m_stop(stop)
{}

QString StreamDownload::failureReason(int httpError)
{
    return httpError == HttpError::Timeout ? QStringLiteral("Timeout") : QStringLiteral("Conn err");
}

std::optional<QByteArray>
StreamDownload::decryptAes128(const QByteArray& data, const QByteArray& key, const QByteArray& iv)
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

StreamDownload::Fetched
StreamDownload::fetch(const QString& url, const std::optional<ByteRange>& range, qint64 limit) const
{
    Fetched fetched;
    HttpRequest::Options options;
    options.url = url;
    // The browser's headers; cookies come from the process-wide store, filled from the record.
    options.headers = {"User-Agent: " + m_record.userAgent.toLatin1(), "Referer: " + m_record.referer.toLatin1(),
                       "Accept-Language: " + m_record.acceptLanguage.toLatin1()};
    if (range)
        options.headers.prepend("Range: bytes=" + QByteArray::number(range->offset) + '-' +
                                QByteArray::number(range->last()));
    options.connectTimeout = m_timeouts.downloadConnect;
    options.receiveTimeout = m_timeouts.downloadReceive;
    options.abort = m_stop;
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

StreamDownload::Fetched
StreamDownload::fetchWithRetries(const QString& url, const std::optional<ByteRange>& range, qint64 limit) const
{
    Fetched fetched;
    for (int attempt = 1; attempt <= kAttempts && !stopped(); ++attempt) {
        fetched = fetch(url, range, limit);
        if (fetched.ok())
            return fetched;
        trace(QStringLiteral("Stream request failed (attempt %1): %2").arg(attempt).arg(url));
    }
    if (fetched.error == HttpError::None)
        fetched.error = HttpError::ConnectionClosed; // answered, but not with the bytes
    return fetched;
}

std::optional<StreamPlan> StreamDownload::buildPlan(Result& result) const
{
    StreamPlanBuilder builder(m_record.stream == VideoFile::Stream::Dash ? StreamFormat::Dash : StreamFormat::Hls,
                              QUrl(m_record.url), m_choice);
    QString fetchFailure;
    while (!builder.finished()) {
        if (stopped()) {
            result.outcome = Outcome::Stopped;
            return std::nullopt;
        }
        for (const StreamFetch& wanted : builder.pending()) {
            const Fetched fetched =
                fetchWithRetries(wanted.url.toString(QUrl::FullyEncoded), wanted.range, kLargestPlaylist);
            if (fetched.ok())
                builder.supply(wanted, fetched.bytes);
            else
                builder.fail(wanted, fetchFailure = failureReason(fetched.error));
        }
    }
    if (builder.error()) {
        const StreamError& error = *builder.error();
        result.reason = error.code == StreamError::Code::FetchFailed ? fetchFailure : error.text;
        return std::nullopt;
    }
    return builder.plan();
}

bool StreamDownload::fetchKeys(const StreamPlan& plan, Result& result)
{
    const auto need = [&](const SegmentKey& key) -> bool {
        if (key.method != SegmentKey::Method::Aes128 || m_keys.contains(key.url))
            return true;
        const Fetched fetched = fetchWithRetries(key.url.toString(QUrl::FullyEncoded), std::nullopt, kLargestKey);
        if (!fetched.ok()) {
            result.reason = failureReason(fetched.error);
            return false;
        }
        m_keys.insert(key.url, fetched.bytes);
        return true;
    };
    for (const TrackPlan& track : plan.tracks) {
        for (const InitSection& section : track.initSections) {
            if (!need(section.key))
                return false;
        }
        for (const SegmentRequest& segment : track.segments) {
            if (!need(segment.key))
                return false;
        }
    }
    return true;
}

std::optional<QByteArray> StreamDownload::decrypted(const QByteArray& bytes, const SegmentKey& key) const
{
    if (key.method == SegmentKey::Method::None)
        return bytes;
    return decryptAes128(bytes, m_keys.value(key.url), key.iv);
}

QString StreamDownload::segmentPath(int track, int segment) const
{
    return m_folder + QStringLiteral("/t%1-s%2.seg").arg(track).arg(segment);
}

QString StreamDownload::initPath(int track, int section) const
{
    return m_folder + QStringLiteral("/t%1-i%2.seg").arg(track).arg(section);
}

bool StreamDownload::downloadSegments(const StreamPlan& plan, const Progress& progress, Result& result)
{
    // Every piece to fetch, init sections first; those kept from an earlier run are done.
    struct Job
    {
        QString path;
        QUrl url;
        std::optional<ByteRange> range;
        SegmentKey key;
    };
    std::vector<Job> jobs;
    for (int t = 0; t < plan.tracks.size(); ++t) {
        const TrackPlan& track = plan.tracks.at(t);
        for (int i = 0; i < track.initSections.size(); ++i) {
            const InitSection& section = track.initSections.at(i);
            jobs.push_back({initPath(t, i), section.url, section.range, section.key});
        }
        for (int i = 0; i < track.segments.size(); ++i) {
            const SegmentRequest& segment = track.segments.at(i);
            jobs.push_back({segmentPath(t, i), segment.url, segment.range, segment.key});
        }
    }
    const int total = int(jobs.size());
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    std::mutex failure;
    QString reason;
    const auto work = [&] {
        for (int j = next++; j < total && !failed && !stopped(); j = next++) {
            const Job& job = jobs.at(size_t(j));
            if (!QFile::exists(job.path)) {
                const Fetched fetched =
                    fetchWithRetries(job.url.toString(QUrl::FullyEncoded), job.range, kLargestSegment);
                const std::optional<QByteArray> plain =
                    fetched.ok() ? decrypted(fetched.bytes, job.key) : std::optional<QByteArray>();
                QSaveFile file(job.path);
                if (!plain || !file.open(QIODevice::WriteOnly) || file.write(*plain) != plain->size() ||
                    !file.commit()) {
                    if (!failed.exchange(true)) {
                        std::lock_guard lock(failure);
                        reason = !fetched.ok() ? failureReason(fetched.error) : QStringLiteral("Conn err");
                    }
                    return;
                }
            }
            const int count = ++done;
            if (progress && !progress(count, total))
                m_cancelled = true;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < std::min(kParallel, total); ++i)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();
    if (stopped()) {
        result.outcome = Outcome::Stopped;
        return false;
    }
    if (failed) {
        result.reason = reason;
        return false;
    }
    return true;
}

bool StreamDownload::joinTrack(const TrackPlan& track, int index, QString& file, QString& reason)
{
    const bool audio = track.kind == TrackPlan::Kind::Audio;
    file = m_folder +
           QStringLiteral("/track%1.%2").arg(index).arg(audio ? QLatin1String("audio") : QLatin1String("video"));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        reason = QStringLiteral("Disk err");
        return false;
    }
    const auto append = [&](const QString& path) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        while (!in.atEnd()) {
            const QByteArray block = in.read(1 << 20);
            if (block.isEmpty() || out.write(block) != block.size())
                return false;
        }
        return true;
    };
    int lastInit = -1;
    for (int i = 0; i < track.segments.size(); ++i) {
        const int init = track.segments.at(i).initSection;
        if (init >= 0 && init != lastInit && !append(initPath(index, init))) {
            reason = QStringLiteral("Disk err");
            return false;
        }
        lastInit = init;
        if (!append(segmentPath(index, i))) {
            reason = QStringLiteral("Disk err");
            return false;
        }
    }
    if (!out.commit()) {
        reason = QStringLiteral("Disk err");
        return false;
    }
    return true;
}

StreamDownload::Result StreamDownload::run(const Progress& progress)
{
    Result result;
    for (const auto& [name, value] : CookieJar::split(m_record.cookie))
        CookieJar::instance().store(m_record.url, name, value);
    const std::optional<StreamPlan> plan = buildPlan(result);
    if (!plan)
        return result;
    result.plan = *plan;
    if (plan->isProtected) {
        result.outcome = Outcome::Protected;
        result.reason = QStringLiteral("Protected");
        return result;
    }
    if (!QDir().mkpath(m_folder)) {
        result.reason = QStringLiteral("Disk err");
        return result;
    }
    if (!fetchKeys(*plan, result) || !downloadSegments(*plan, progress, result))
        return result;
    for (int t = 0; t < plan->tracks.size(); ++t) {
        QString file;
        if (!joinTrack(plan->tracks.at(t), t, file, result.reason))
            return result;
        result.trackFiles << file;
    }
    result.outcome = Outcome::Done;
    return result;
}
