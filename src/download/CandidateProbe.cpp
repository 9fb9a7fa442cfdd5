#include "download/CandidateProbe.h"

#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "download/CookieJar.h"
#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "download/HttpRequest.h"
#include "download/PageTitle.h"
#include "download/WebPage.h"

namespace {

// Reads a decimal number the way the C library does: leading digits, anything after them
// ignored, no digits give 0; very long numbers stop growing instead of overflowing.
qint64 leadingNumber(QStringView text)
{
    qint64 value = 0;
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text.front() == QLatin1Char('-');
    if (!text.isEmpty() && (text.front() == QLatin1Char('-') || text.front() == QLatin1Char('+')))
        ++i;
    for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128; ++i) {
        if (value < (qint64(1) << 40))
            value = value * 10 + (text.at(i).unicode() - '0');
    }
    return negative ? -value : value;
}

// Watch pages of the big video site: the address of the page a DASH segment belongs to.
const QLatin1String WatchPageFragment("youtube.com/watch?v=");

} // namespace

CandidateProbe::CandidateProbe(VideoFileArray& videoFiles, DownloadRows& rows, DownloadWorkers& workers)
    : m_videoFiles(videoFiles)
    , m_rows(rows)
    , m_workers(workers)
    , m_accelerator([] { return Settings::instance().accelerator(); })
{}

bool CandidateProbe::stopping() const
{
    return m_stopping || m_workers.stopping();
}

QString CandidateProbe::dashPrefix()
{
    return QStringLiteral("YouTube DASH A/V segment of: ");
}

QString CandidateProbe::displayName(const QString& url)
{
    if (!url.contains(QLatin1String("/videoplayback?")))
        return url;
    for (const QLatin1String name : {QLatin1String("?itag="), QLatin1String("&itag=")}) {
        const qsizetype at = url.indexOf(name);
        if (at < 0)
            continue;
        const qsizetype start = at + name.size();
        const qsizetype end = url.indexOf(QLatin1Char('&'), start);
        const QStringView value = QStringView(url).mid(start, end < 0 ? -1 : end - start);
        if (leadingNumber(value) > DashItag)
            return dashPrefix() + url;
        return url;
    }
    return url;
}

bool CandidateProbe::isPlainHistoryEntry(const QString& entry)
{
    if (entry.contains(WatchPageFragment))
        return true;
    for (const QChar c : {QLatin1Char('?'), QLatin1Char('&'), QLatin1Char('%'), QLatin1Char(';')}) {
        if (entry.contains(c))
            return false;
    }
    return true;
}

void CandidateProbe::pass()
{
    // The count is read again at every step: records appended during the pass are seen too.
    for (qsizetype i = 0; i < m_videoFiles.size(); ++i) {
        if (stopping())
            return;
        const std::optional<VideoFile> record = m_videoFiles.at(i);
        if (record && record->state == VideoFile::State::New)
            probe(i);
    }
}

CandidateProbe::Answer CandidateProbe::request(const VideoFile& record) const
{
    Answer answer;
    // Cookies go into the process-wide store, from where every request to the address
    // (the probe's and the parts') takes them.
    for (const auto& [name, value] : CookieJar::split(record.cookie))
        CookieJar::instance().store(record.url, name, value);
    if (!HttpRequest::isRequestable(record.url))
        return answer;

    HttpRequest::Options options;
    options.url = record.url;
    options.headers = {"Range: bytes=10-",
                       "User-Agent: " + record.userAgent.toLatin1(),
                       "Referer: " + record.referer.toLatin1(),
                       "Accept: " + record.accept.toLatin1(),
                       "Accept-Language: " + record.acceptLanguage.toLatin1(),
                       "Accept-Encoding: " + record.acceptEncoding.toLatin1(),
                       "Connection: " + record.connection.toLatin1()};
    options.connectTimeout = m_workers.timeouts().probeConnect;
    options.receiveTimeout = m_workers.timeouts().probeReceive;
    options.abort = &m_stopping;
    HttpRequest probe(options);
    // Only the head is wanted; the body is never read.
    const HttpResult result = probe.perform([](const HttpResponseHead&) { return false; }, {});
    if (result.error != HttpError::None || !result.headReceived) {
        trace(QStringLiteral("CInternetException in Func: GetEachURLThread, code: %1").arg(result.error));
        return answer;
    }
    answer.status = result.head.status;
    answer.length = qMax<qint64>(result.head.contentLength, 0);
    const QString more = QStringLiteral("More info: URL = ") + record.url;
    if (answer.status != 200 && answer.status != 206) {
        trace(QStringLiteral("Recived BAD answer for HTTP video..."));
        trace(more);
        trace(QStringLiteral("More info: Answer code = %1").arg(answer.status));
        return answer;
    }
    trace(QStringLiteral("Recived GOOD answer for HTTP video..."));
    trace(more);
    trace(QStringLiteral("More info: Answer code = %1").arg(answer.status));
    trace(QStringLiteral("More info: Content length (note.. 10 bytes minus if 206) = %1").arg(answer.length));
    if (answer.status == 206)
        answer.length += 10; // the first ten bytes were not asked for
    answer.ok = true;
    return answer;
}

void CandidateProbe::probe(qsizetype recordIndex)
{
    const std::optional<VideoFile> record = m_videoFiles.at(recordIndex);
    if (!record)
        return;
    trace(QStringLiteral("New video: ") + record->url);
    const Answer answer = request(*record);
    if (answer.ok && record->stream != VideoFile::Stream::None) {
        // A manifest is small and says nothing of the programme's size: no size or duplicate test.
        acceptStream(recordIndex);
    } else if (answer.ok) {
        const bool bigEnough = answer.length >= SmallestMedia && record->extension != QLatin1String(".f4f");
        // A length of 0 always meets a record of total 0 here (this one included).
        const bool duplicate =
            answer.length < SizeLimit && m_videoFiles.withLock([&answer](const QList<VideoFile>& all) {
                return std::any_of(all.cbegin(), all.cend(),
                                   [&answer](const VideoFile& other) { return other.totalBytes == answer.length; });
            });
        if (!duplicate && bigEnough)
            accept(recordIndex, answer);
    }
    // Old whatever happened; a cancellation made meanwhile stays Canceled.
    m_videoFiles.update(recordIndex, [](VideoFile& r) {
        if (r.state == VideoFile::State::New)
            r.state = VideoFile::State::Old;
    });
}

void CandidateProbe::accept(qsizetype recordIndex, const Answer& answer)
{
    VideoFile copy;
    m_videoFiles.update(recordIndex, [&answer, &copy](VideoFile& r) {
        r.totalBytes = answer.length;
        copy = r;
    });
    m_rows.setCaption(tx(u"Detected media file"));
    m_rows.flash();
    m_rows.insert(recordIndex, displayName(copy.url), copy.baseName);

    const bool audio = copy.extension == QLatin1String(".mp3") || copy.extension == QLatin1String(".m4a");
    const QString more = QStringLiteral("More info: URL = ") + copy.url;
    if (answer.status == 206 && answer.length < SizeLimit) {
        trace(QStringLiteral("Server accept ranges, so start downloading in multi thread mode..."));
        trace(more);
        if (m_accelerator() && !audio) {
            for (int part = 1; part <= 4; ++part)
                m_workers.start(recordIndex, copy, part);
        } else {
            trace(QStringLiteral("Server is stupid, it DON`t accept ranges, so start downloading in SINGLE mode..."));
            trace(more);
            m_workers.start(recordIndex, copy, 0);
        }
    } else {
        m_workers.start(recordIndex, copy, 0);
    }
    findTitle(recordIndex);
    fetchIcon(recordIndex);
}

QString CandidateProbe::streamMark(VideoFile::Stream stream)
{
    return stream == VideoFile::Stream::None ? QString() : QLatin1Char('[') + streamName(stream) + QLatin1String("] ");
}

void CandidateProbe::acceptStream(qsizetype recordIndex)
{
    const std::optional<VideoFile> record = m_videoFiles.at(recordIndex);
    if (!record)
        return;
    m_rows.setCaption(tx(u"Detected media file"));
    m_rows.flash();
    m_rows.insert(recordIndex, streamMark(record->stream) + record->url, record->baseName);
    trace(QStringLiteral("Stream manifest accepted: ") + record->url);
    m_workers.startStream(recordIndex, *record);
    findTitle(recordIndex);
    fetchIcon(recordIndex);
}

void CandidateProbe::useTitle(qsizetype recordIndex, const QString& page, const QString& title)
{
    // This record's own row: another download may have taken the top since.
    const QString current = m_rows.name(recordIndex);
    const std::optional<VideoFile> record = m_videoFiles.at(recordIndex);
    const QString mark = record ? streamMark(record->stream) : QString();
    m_rows.setName(recordIndex, current.contains(dashPrefix()) ? dashPrefix() + title : mark + title);
    m_videoFiles.update(recordIndex, [&page, &title](VideoFile& r) {
        r.pageAddress = page;
        r.title = title;
    });
}

void CandidateProbe::findTitle(qsizetype recordIndex)
{
    const std::optional<VideoFile> record = m_videoFiles.at(recordIndex);
    if (!record)
        return;
    const DownloadTimeouts& timeouts = m_workers.timeouts();
    const QString page = record->pageAddress;
    if (WebPage::GetContentType(page, timeouts.contentType, &m_stopping).contains(QLatin1String("text/html"))) {
        useTitle(recordIndex, page, pageTitle(WebPage::GetTextContent(page, timeouts.htmlPage, &m_stopping)));
        return;
    }
    // Otherwise the page that mentions the Referer's last path segment, newest first.
    const qsizetype slash = record->referer.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return;
    const QString tail = record->referer.mid(slash);
    for (const QString& entry : record->history.split(QLatin1Char('^'))) {
        if (entry.isEmpty() || stopping())
            break;
        const auto timeout = isPlainHistoryEntry(entry) ? timeouts.plainHistoryPage : timeouts.otherHistoryPage;
        const QString text = WebPage::GetTextContent(entry, timeout, &m_stopping);
        if (text.contains(tail)) {
            useTitle(recordIndex, entry, pageTitle(text));
            return;
        }
    }
}

void CandidateProbe::fetchIcon(qsizetype recordIndex)
{
    const std::optional<VideoFile> record = m_videoFiles.at(recordIndex);
    if (!record)
        return;
    const QString host = WebPage::iconHost(record->pageAddress);
    if (host.isEmpty() || WebPage::iconPath(host).isEmpty())
        return;
    if (!WebPage::iconPresent(host))
        WebPage::GetFavIcon(WebPage::iconAddress(record->pageAddress), m_workers.timeouts().favIcon, host, &m_stopping);
    if (WebPage::iconPresent(host))
        m_rows.setIcon(recordIndex, WebPage::iconPath(host));
}
