#include "capture/RequestAnalyser.h"

#include "base/Texts.h"
#include "capture/AddressFilters.h"
#include "capture/ByteView.h"
#include "capture/RequestFields.h"
#include "capture/TcpHeaderLocator.h"
#include "model/BaseNames.h"
#include "streams/ManifestDetection.h"
#include "wire/HttpExchange.h"

#include <QDateTime>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

constexpr std::string_view kGet = "GET /";
constexpr std::string_view kHttp = "HTTP/";
constexpr std::string_view kTerminator = "\r\n\r\n";
constexpr std::string_view kContentType = "content-type:";
constexpr qsizetype kPortCount = 65536;
// A continuation candidate needs its ports, its sequence number and its data offset byte.
constexpr qsizetype kSegmentFieldsLength = 13;

// The video rows of the media type table, in the order they are searched.
struct VideoRow
{
    std::string_view type;
    std::string_view alternative; // a second spelling of the same row, or empty
    const char* extension;
    bool MediaFilterSettings::*setting; // nullptr: downloadhttp alone decides
};

constexpr std::array<VideoRow, 11> kVideoRows = {{
    {"video/x-flv", {}, ".flv", &MediaFilterSettings::flv},
    {"video/mp4", {}, ".mp4", &MediaFilterSettings::mp4},
    {"video/webm", {}, ".webm", &MediaFilterSettings::webm},
    {"video/x-m4v", {}, ".m4v", &MediaFilterSettings::m4v},
    {"video/quicktime", {}, ".mov", &MediaFilterSettings::quicktime},
    {"video/ogg", {}, ".ogv", &MediaFilterSettings::ogg},
    {"video/mpeg", {}, ".mpg", &MediaFilterSettings::mpeg},
    {"video/x-matroska", {}, ".mkv", &MediaFilterSettings::matroska},
    {"video/x-ms-wmv", {}, ".wmv", &MediaFilterSettings::wmv},
    {"video/x-msvideo", {}, ".avi", &MediaFilterSettings::msvideo},
    {"video/f4f", "video/x-f4f", ".f4f", nullptr},
}};

struct AudioRow
{
    std::string_view type;
    const char* extension;
};

constexpr std::array<AudioRow, 2> kAudioRows = {{
    {"audio/mpeg", ".mp3"},
    {"audio/mp4", ".m4a"},
}};

// A header name counts only at the start of a line of the frame's response head: after the
// first "HTTP/" and before the blank line that follows it (or the frame's end). headStart is
// looked up on first use (-2: not yet).
bool isHeaderLine(const ByteView& frame, qsizetype at, qsizetype& headStart, qsizetype& headEnd)
{
    quint8 before = 0;
    if (!frame.u8(at - 1, before) || before != '\n')
        return false;
    if (headStart == -2) {
        headStart = frame.find(kHttp);
        headEnd = headStart < 0 ? -1 : frame.find(kTerminator, headStart);
    }
    return headStart >= 0 && at > headStart && (headEnd < 0 || at < headEnd + 2);
}

bool isAudioExtension(const QString& extension)
{
    return extension == QLatin1String(".mp3") || extension == QLatin1String(".m4a");
}

// "Audio Track", or the last path segment cut before ".MP3" (else ".mp3") when that leaves a name.
QString audioTitle(const QString& address)
{
    const QString segment = address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
    qsizetype cut = segment.indexOf(QLatin1String(".MP3"));
    if (cut < 0)
        cut = segment.indexOf(QLatin1String(".mp3"));
    if (cut > 0)
        return segment.left(cut);
    return tx(u"Audio Track");
}

// An address in one spelling, so that a playlist named by a master and the request for it compare.
QString normalised(const QString& address)
{
    return QUrl(address).toString(QUrl::FullyEncoded);
}

// "http://host/dir/" of "http://host/dir/name?query".
QString folderOf(const QString& address)
{
    const QUrl url(address);
    QString path = url.path(QUrl::FullyEncoded);
    path.truncate(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (path.isEmpty())
        path = QStringLiteral("/");
    QUrl folder = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemovePath);
    return folder.toString(QUrl::FullyEncoded) + path;
}

} // namespace

RequestAnalyser::RequestAnalyser(Records records, SettingsSource settings, Lookup lookup)
    : m_records(records)
    , m_settingsSource(std::move(settings))
    , m_lookup(lookup)
    , m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
    , m_displayName(Texts::displayName())
    , m_unfinishedPorts(kPortCount / 64)
{
    // Requests recorded by an earlier capture of this run stay matchable by responses; their
    // continuation segments are gone with that capture.
    const QList<Get> earlier = m_records.gets.snapshot();
    for (qsizetype i = std::max<qsizetype>(0, earlier.size() - kRequestsKept); i < earlier.size(); ++i) {
        const Get& get = earlier.at(i);
        Request request;
        request.text = get.requestText.toLatin1().left(kLongestRequest);
        request.shared = i;
        request.clientPort = get.clientPort;
        request.serverPort = get.serverPort;
        request.firstSequence = get.firstSequence;
        request.complete = get.complete;
        addRequest(std::move(request));
    }
}

RequestAnalyser::Id RequestAnalyser::addRequest(Request request)
{
    const quint16 port = request.clientPort;
    const bool joinable = request.joinable;
    m_requests.push_back(std::move(request));
    const Id id = m_firstId + Id(m_requests.size()) - 1;
    std::deque<Id>& onPort = m_byClientPort[port];
    onPort.push_back(id);
    if (onPort.size() > size_t(kRequestsPerPort))
        onPort.pop_front();
    if (joinable) {
        std::vector<Id>& unfinished = m_unfinishedByPort[port];
        if (unfinished.size() >= size_t(kUnfinishedPerPort))
            forgetUnfinished(unfinished.front());
        m_unfinishedByPort[port].push_back(id);
        m_unfinishedPorts[port >> 6] |= quint64(1) << (port & 63);
        m_unfinishedByAge.push_back(id);
        ++m_unfinishedCount;
    }
    while (qsizetype(m_requests.size()) > kRequestsKept)
        dropOldestRequest();
    return id;
}

void RequestAnalyser::dropOldestRequest()
{
    const Request& oldest = m_requests.front();
    if (oldest.joinable)
        forgetUnfinished(m_firstId);
    const auto found = m_byClientPort.find(oldest.clientPort);
    if (found != m_byClientPort.end()) {
        if (!found->empty() && found->front() == m_firstId)
            found->pop_front();
        if (found->empty())
            m_byClientPort.erase(found);
    }
    m_requests.pop_front();
    ++m_firstId;
}

void RequestAnalyser::analyse(const quint8* frame, quint16 length)
{
    if (!frame || length <= kLargestIgnoredFrame)
        return;
    ++m_frame;
    const ByteView view(frame, length);
    m_frameSettingsRead = false;
    expireUnfinished();
    if (m_window >= 1) {
        joinContinuations(view);
        --m_window;
    }
    scanMarkers(view);
}

// ---- Continuation segments ----------------------------------------------------------------

void RequestAnalyser::expireUnfinished()
{
    while (!m_unfinishedByAge.empty()) {
        const Id id = m_unfinishedByAge.front();
        if (id >= m_firstId && request(id).joinable) {
            if (m_frame - request(id).seenAt <= kContinuationFrames)
                return;
            forgetUnfinished(id);
        }
        m_unfinishedByAge.pop_front();
    }
}

void RequestAnalyser::joinContinuations(const ByteView& frame)
{
    if (m_unfinishedCount == 0)
        return;
    if (m_lookup == Lookup::Indexed)
        joinByIndex(frame);
    else
        joinByWalk(frame);
}

void RequestAnalyser::joinByWalk(const ByteView& frame)
{
    for (Id id = m_firstId + Id(m_requests.size()) - 1; id >= m_firstId; --id) {
        for (qsizetype at = 0; at < frame.size() && request(id).joinable; ++at)
            tryContinuation(id, frame, at);
    }
}

void RequestAnalyser::joinByIndex(const ByteView& frame)
{
    // Offsets whose port pair belongs to an unfinished request, by request newest first and
    // offset ascending: the order of the walk, without testing every request at every offset.
    std::vector<std::pair<Id, qsizetype>> hits;
    const quint8* bytes = frame.data();
    for (qsizetype at = 0; at + kSegmentFieldsLength <= frame.size(); ++at) {
        const auto client = quint16((quint16(bytes[at]) << 8) | bytes[at + 1]);
        if (!hasUnfinishedOn(client))
            continue;
        const auto server = quint16((quint16(bytes[at + 2]) << 8) | bytes[at + 3]);
        const auto found = m_unfinishedByPort.constFind(client);
        for (Id id : *found) {
            if (request(id).serverPort == server)
                hits.emplace_back(id, at);
        }
    }
    std::stable_sort(hits.begin(), hits.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [id, at] : hits)
        tryContinuation(id, frame, at);
}

void RequestAnalyser::tryContinuation(Id id, const ByteView& frame, qsizetype at)
{
    Request& r = request(id);
    if (!r.joinable)
        return;
    quint16 client = 0;
    quint16 server = 0;
    quint32 sequence = 0;
    quint8 dataOffset = 0;
    if (!frame.be16(at, client) || !frame.be16(at + 2, server) || !frame.be32(at + 4, sequence) ||
        !frame.u8(at + 12, dataOffset))
        return;
    if (client != r.clientPort || server != r.serverPort)
        return;
    if (sequence - r.firstSequence != quint32(r.text.size()))
        return;
    const qsizetype payload = at + qsizetype(dataOffset >> 4) * 4;
    QByteArray piece;
    bool terminated = false;
    bool full = false;
    if (payload < frame.size()) {
        const qsizetype room = kLongestRequest - r.text.size();
        const qsizetype size = std::min(frame.size() - payload, room);
        full = size < frame.size() - payload;
        piece = QByteArray(reinterpret_cast<const char*>(frame.data() + payload), size);
        terminated = frame.find(kTerminator, payload) >= 0;
    }
    r.text += piece;
    r.complete = r.complete || terminated;
    const bool complete = r.complete;
    m_records.gets.update(r.shared - m_sharedBase, [&](Get& get) {
        get.requestText += QString::fromLatin1(piece);
        get.complete = complete;
    });
    // A request at its longest takes no more segments: the next one's sequence number would
    // not match the text kept.
    if (complete || full)
        forgetUnfinished(id);
}

void RequestAnalyser::forgetUnfinished(Id id)
{
    Request& r = request(id);
    if (!r.joinable)
        return;
    r.joinable = false;
    const quint16 port = r.clientPort;
    const auto found = m_unfinishedByPort.find(port);
    if (found != m_unfinishedByPort.end()) {
        std::vector<Id>& list = found.value();
        list.erase(std::remove(list.begin(), list.end(), id), list.end());
        if (list.empty()) {
            m_unfinishedByPort.erase(found);
            m_unfinishedPorts[port >> 6] &= ~(quint64(1) << (port & 63));
        }
    }
    --m_unfinishedCount;
}

// ---- Marker scan --------------------------------------------------------------------------

const MediaFilterSettings& RequestAnalyser::settings()
{
    if (!m_frameSettingsRead) {
        m_frameSettings = m_settingsSource ? m_settingsSource() : MediaFilterSettings{};
        m_frameSettingsRead = true;
    }
    return m_frameSettings;
}

void RequestAnalyser::scanMarkers(const ByteView& frame)
{
    // A marker is "GET /" or a header line starting with 'C' in either case: only the offsets
    // of 'G' and of a line feed are tested, in ascending order. A line feed stands for the
    // offset after it, which cannot hold a 'G', so the markers are met in the order they stand.
    bool mediaFound = false;
    QString extension;
    qsizetype headStart = -2; // not looked for yet
    qsizetype headEnd = -1;
    for (qsizetype hit = frame.findAnyOf('G', '\n', 0); hit >= 0; hit = frame.findAnyOf('G', '\n', hit + 1)) {
        if (frame.data()[hit] == 'G') {
            if (frame.matchesAt(hit, kGet)) {
                recordRequest(frame, hit);
                break;
            }
            continue;
        }
        const qsizetype at = hit + 1;
        quint8 first = 0;
        if (!frame.u8(at, first) || ByteView::lower(first) != 'c')
            continue;
        if (!isHeaderLine(frame, at, headStart, headEnd) || !frame.matchesAtNoCase(at, kContentType))
            continue;
        qsizetype type = at + qsizetype(kContentType.size());
        quint8 blank = 0;
        while (frame.u8(type, blank) && (blank == ' ' || blank == '\t'))
            ++type;
        if (frame.matchesAtNoCase(type, "text/html")) {
            recordPages(frame);
            break;
        }
        if (settings().downloadHttp && takeStreamResponse(frame, type))
            break;
        if (settings().downloadHttp) {
            if (frame.matchesAtNoCase(type, "application/octet-stream")) {
                mediaFound = true;
                extension = QStringLiteral(".bin");
                continue;
            }
            if (frame.matchesAtNoCase(type, "video/")) {
                for (const VideoRow& row : kVideoRows) {
                    const bool present = frame.findNoCase(row.type, at) >= 0 ||
                                         (!row.alternative.empty() && frame.findNoCase(row.alternative, at) >= 0);
                    if (!present)
                        continue;
                    if (!row.setting || settings().*row.setting) {
                        mediaFound = true;
                        extension = QLatin1String(row.extension);
                    }
                    break;
                }
                break;
            }
        }
        if (settings().downloadHttpMusic && frame.matchesAtNoCase(type, "audio/")) {
            for (const AudioRow& row : kAudioRows) {
                if (frame.findNoCase(row.type, at) >= 0) {
                    mediaFound = true;
                    extension = QLatin1String(row.extension);
                    break;
                }
            }
            break;
        }
    }
    if (mediaFound)
        createCandidates(frame, extension);
}

void RequestAnalyser::recordRequest(const ByteView& frame, qsizetype at)
{
    const qsizetype header = TcpHeaderLocator::forRequest(frame, at);
    Request request;
    // A header that would start before the frame cannot be read: the request is not recorded.
    if (header < 0 || !frame.be16(header, request.clientPort) || !frame.be16(header + 2, request.serverPort) ||
        !frame.be32(header + 4, request.firstSequence))
        return;
    request.complete = frame.find(kTerminator, at) >= 0;
    const qsizetype size = std::min(frame.size() - at, kLongestRequest);
    request.text = QByteArray(reinterpret_cast<const char*>(frame.data() + at), size);
    request.joinable = !request.complete && size == frame.size() - at;
    request.seenAt = m_frame;
    if (!request.complete)
        m_window = kContinuationFrames;
    const Get get{QString::fromLatin1(request.text), request.clientPort, request.serverPort, request.firstSequence,
                  request.complete};
    request.shared = m_records.gets.withLock([&](QList<Get>& list) {
        list.append(get);
        const qsizetype excess = list.size() - kRequestsKept;
        if (excess > 0) {
            list.remove(0, excess);
            m_sharedBase += excess;
        }
        return m_sharedBase + list.size() - 1;
    });
    addRequest(std::move(request));
}

bool RequestAnalyser::responseClientPort(const ByteView& frame, quint16& port) const
{
    const qsizetype status = frame.find(kHttp);
    if (status < 0)
        return false;
    const qsizetype header = TcpHeaderLocator::forResponse(frame, status);
    return header >= 0 && frame.be16(header + 2, port);
}

std::vector<RequestAnalyser::Id> RequestAnalyser::requestsOnPort(quint16 port) const
{
    if (m_lookup == Lookup::Indexed) {
        const auto found = m_byClientPort.constFind(port);
        return found == m_byClientPort.cend() ? std::vector<Id>() : std::vector<Id>(found->cbegin(), found->cend());
    }
    std::vector<Id> result;
    for (Id id = m_firstId + Id(m_requests.size()) - 1; id >= m_firstId && result.size() < size_t(kRequestsPerPort);
         --id) {
        if (request(id).clientPort == port)
            result.push_back(id);
    }
    std::reverse(result.begin(), result.end());
    return result;
}

// ---- Pages --------------------------------------------------------------------------------

void RequestAnalyser::recordPages(const ByteView& frame)
{
    quint16 port = 0;
    if (!responseClientPort(frame, port))
        return;
    QStringList pages;
    for (Id id : requestsOnPort(port)) {
        const Request& r = request(id);
        const QString address = RequestFields::address(r.text);
        if (AddressFilters::skipAsPage(address))
            continue;
        if (isOwnRequest(RequestFields::headerValue(r.text, "user-agent: ")))
            continue;
        pages.append(address);
    }
    appendPages(pages);
}

// The program's own page and icon requests are not the user's browsing.
bool RequestAnalyser::isOwnRequest(const QString& userAgent) const
{
    return !userAgent.isEmpty() && userAgent.contains(m_displayName);
}

void RequestAnalyser::appendPages(const QStringList& pages)
{
    if (pages.isEmpty())
        return;
    m_records.history.withLock([&pages](QList<QString>& history) {
        history.append(pages);
        const qsizetype excess = history.size() - kHistoryKept;
        if (excess > 0)
            history.remove(0, excess);
    });
}

// ---- Candidates ---------------------------------------------------------------------------

QString RequestAnalyser::newestHistory()
{
    return m_records.history.withLock([this](const QList<QString>& history) {
        // Candidates caught between two visited pages carry the same text: it is built once and
        // shared by all of them, so a burst of media costs neither the copies nor their memory.
        const qsizetype oldest = std::max<qsizetype>(0, history.size() - kHistoryEntries);
        const qsizetype count = history.size() - oldest;
        bool same = count == m_historyPages.size();
        for (qsizetype i = 0; same && i < count; ++i)
            same = history.at(history.size() - 1 - i) == m_historyPages.at(i);
        if (same)
            return m_historyText;
        m_historyPages.clear();
        qsizetype length = 0;
        for (qsizetype i = history.size() - 1; i >= oldest; --i) {
            m_historyPages.append(history.at(i));
            length += history.at(i).size() + 1;
        }
        QString result;
        result.reserve(length);
        for (const QString& page : std::as_const(m_historyPages))
            result += page + QLatin1Char('^');
        m_historyText = result;
        return result;
    });
}

void RequestAnalyser::createCandidates(const ByteView& frame, const QString& extension)
{
    quint16 port = 0;
    if (!responseClientPort(frame, port))
        return;
    const std::vector<Id> requests = requestsOnPort(port);
    if (requests.empty())
        return;
    const QString history = isAudioExtension(extension) ? QString() : newestHistory();
    for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
        const Request& r = request(*it);
        const QString address = RequestFields::address(r.text);
        if (skipsCandidate(address))
            continue;
        if (isPartOfKnownStream(address, RequestFields::headerValue(r.text, "referer: ")))
            continue;
        createCandidate(replayOf(r.text), address, extension, history);
    }
}

bool RequestAnalyser::skipsCandidate(const QString& address) const
{
    if (AddressFilters::skipAsCandidate(address))
        return true;
    return address.size() > 4 && address.right(4).compare(QLatin1String(".xml"), Qt::CaseInsensitive) == 0;
}

RequestAnalyser::Replay RequestAnalyser::replayOf(const QByteArray& requestText)
{
    Replay replay;
    replay.userAgent = RequestFields::headerValue(requestText, "user-agent: ");
    replay.accept = RequestFields::headerValue(requestText, "accept: ");
    replay.acceptLanguage = RequestFields::headerValue(requestText, "accept-language: ");
    replay.acceptEncoding = RequestFields::headerValue(requestText, "accept-encoding: ");
    replay.referer = RequestFields::headerValue(requestText, "referer: ");
    replay.cookie = RequestFields::headerValue(requestText, "cookie: ");
    replay.connection = RequestFields::headerValue(requestText, "connection: ");
    return replay;
}

bool RequestAnalyser::createCandidate(const Replay& replay,
                                      const QString& address,
                                      const QString& extension,
                                      const QString& history,
                                      VideoFile::Stream stream)
{
    VideoFile record;
    record.stream = stream;
    record.state = VideoFile::State::New;
    record.url = address;
    record.userAgent = replay.userAgent;
    record.accept = replay.accept;
    record.acceptLanguage = replay.acceptLanguage;
    record.acceptEncoding = replay.acceptEncoding;
    record.referer = replay.referer;
    record.cookie = replay.cookie;
    record.connection = replay.connection;
    record.extension = extension;
    if (isAudioExtension(extension)) {
        record.title = audioTitle(address);
    } else {
        record.title = tx(u"Unnamed media file");
        record.history = history;
        record.pageAddress = record.referer;
    }

    // The duplicate test, the base name and the append happen under one hold of the lock.
    const qsizetype index = m_records.videoFiles.withLock([&](QList<VideoFile>& list) -> qsizetype {
        indexVideoFiles(list);
        if (hasUrl(list, address))
            return -1;
        record.baseName = allocateBaseName(list);
        list.append(record);
        indexVideoFiles(list);
        return list.size() - 1;
    });
    if (index < 0)
        return false;
    m_records.detectedMedia.fetch_add(1);
    if (m_candidateHook)
        m_candidateHook(index, record);
    return true;
}

void RequestAnalyser::indexVideoFiles(const QList<VideoFile>& list)
{
    for (; m_videoFilesIndexed < list.size(); ++m_videoFilesIndexed) {
        const VideoFile& record = list.at(m_videoFilesIndexed);
        m_videoFilesByUrl[record.url].push_back(qint32(m_videoFilesIndexed));
        m_baseNames.insert(record.baseName);
    }
}

namespace {

// A cancelled record no longer holds its address: the same address may be caught again.
bool isLive(const VideoFile& record, const QString& url)
{
    return record.state != VideoFile::State::Canceled && record.url == url;
}

} // namespace

bool RequestAnalyser::hasUrl(const QList<VideoFile>& list, const QString& url) const
{
    if (m_lookup == Lookup::Walk) {
        return std::any_of(list.cbegin(), list.cend(), [&](const VideoFile& record) { return isLive(record, url); });
    }
    const auto found = m_videoFilesByUrl.constFind(url);
    if (found == m_videoFilesByUrl.cend())
        return false;
    return std::any_of(found->cbegin(), found->cend(), [&](qint32 i) { return isLive(list.at(i), url); });
}

QString RequestAnalyser::allocateBaseName(const QList<VideoFile>& list)
{
    if (m_lookup == Lookup::Walk)
        return BaseNames::firstFree(list, m_clock());
    // The same rule as BaseNames::firstFree, on the set kept up to date instead of one built
    // from every record each time. Base names are never removed or changed, so the seconds from
    // the last search's start to its result are still taken: a burst within one second does
    // not test them all again.
    const qint64 now = m_clock();
    qint64 second = now;
    if (m_lastSearch.has_value() && now >= m_lastSearch->first && now <= m_lastSearch->second)
        second = m_lastSearch->second + 1;
    while (m_baseNames.contains(QString::number(second)))
        ++second;
    m_lastSearch = std::make_pair(now, second);
    return QString::number(second);
}

// ---- Streams ------------------------------------------------------------------------------

// Handles a response that is a manifest, a bare segment or a part of a stream already caught;
// false leaves it to the media type table.
bool RequestAnalyser::takeStreamResponse(const ByteView& frame, qsizetype type)
{
    QString contentType;
    quint8 c = 0;
    for (qsizetype at = type; frame.u8(at, c) && c != '\r' && c != '\n'; ++at) {
        if (at - type >= kLongestContentType)
            return false;
        contentType += QLatin1Char(char(c));
    }
    quint16 port = 0;
    if (!responseClientPort(frame, port))
        return false;
    const std::vector<Id> requests = requestsOnPort(port);
    // Without pipelining the answer is to the newest request of the connection.
    const Request* answered = requests.empty() ? nullptr : &request(requests.back());
    const QString address = answered ? RequestFields::address(answered->text) : QString();
    const QString referer = answered ? RequestFields::headerValue(answered->text, "referer: ") : QString();
    const qsizetype query = address.indexOf(QLatin1Char('?'));
    const ResponseKind kind = classifyResponse(contentType, QStringView(address).left(query));
    if (kind == ResponseKind::StreamSegment)
        return true;
    if (!answered || AddressFilters::skipAsCandidate(address))
        return kind != ResponseKind::Other;
    if (isPartOfKnownStream(address, referer))
        return true;
    if (kind == ResponseKind::Other)
        return false;
    rememberStream(address, referer, frame);
    createCandidate(replayOf(answered->text), address, QStringLiteral(".mp4"), newestHistory(),
                    kind == ResponseKind::HlsManifest ? VideoFile::Stream::Hls : VideoFile::Stream::Dash);
    return true;
}

bool RequestAnalyser::isPartOfKnownStream(const QString& address, const QString& referer) const
{
    if (m_streams.empty())
        return false;
    const QString spelled = normalised(address);
    return std::any_of(m_streams.cbegin(), m_streams.cend(), [&](const KnownStream& stream) {
        return stream.named.contains(spelled) || (stream.referer == referer && spelled.startsWith(stream.folder));
    });
}

void RequestAnalyser::rememberStream(const QString& address, const QString& referer, const ByteView& frame)
{
    KnownStream stream{folderOf(address), referer, {}};
    // A master playlist in this frame names its media playlists, which may live elsewhere.
    const qsizetype head = frame.find(kHttp);
    const qsizetype body = head < 0 ? -1 : frame.find(kTerminator, head);
    if (body >= 0 && frame.matchesAt(body + 4, "#EXTM3U") && frame.find("#EXT-X-STREAM-INF", body) >= 0) {
        const QUrl base(address);
        const QByteArray text(reinterpret_cast<const char*>(frame.data() + body + 4), frame.size() - body - 4);
        for (const QByteArray& rawLine : text.split('\n')) {
            if (stream.named.size() >= kNamedPerStream)
                break;
            const QByteArray line = rawLine.trimmed();
            if (line.isEmpty() || line.size() > kLongestPlaylistLine)
                continue;
            QByteArray uri = line;
            if (line.startsWith('#')) {
                const qsizetype start = line.indexOf("URI=\"");
                const qsizetype end = start < 0 ? -1 : line.indexOf('"', start + 5);
                if (end < 0)
                    continue;
                uri = line.mid(start + 5, end - start - 5);
            }
            const QUrl named = base.resolved(QUrl(QString::fromLatin1(uri)));
            if (named.isValid())
                stream.named.insert(named.toString(QUrl::FullyEncoded));
        }
    }
    keepStream(std::move(stream));
}

void RequestAnalyser::keepStream(KnownStream stream)
{
    m_streams.push_back(std::move(stream));
    if (qsizetype(m_streams.size()) > kStreamsKept)
        m_streams.pop_front();
}

// ---- Decoded exchanges --------------------------------------------------------------------

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

bool containsNoCase(std::string_view text, std::string_view lowerNeedle)
{
    for (size_t at = 0; at + lowerNeedle.size() <= text.size(); ++at) {
        if (startsWithNoCase(text.substr(at), lowerNeedle))
            return true;
    }
    return false;
}

// A replayed header value as RequestFields reads one from a frame: blanks around it removed,
// nothing when it holds a line break or a NUL.
QString replayValue(const HttpExchange& exchange, const std::string& name)
{
    const std::string* value = exchange.requestHeader(name);
    if (!value)
        return {};
    std::string_view text(*value);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return {};
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// A request target in origin form holds no blank or control character.
bool isCleanTarget(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return quint8(c) > 0x20 && quint8(c) != 0x7f; });
}

} // namespace

RequestAnalyser::Replay RequestAnalyser::replayOf(const HttpExchange& exchange)
{
    Replay replay;
    replay.userAgent = replayValue(exchange, "user-agent");
    replay.accept = replayValue(exchange, "accept");
    replay.acceptLanguage = replayValue(exchange, "accept-language");
    replay.acceptEncoding = replayValue(exchange, "accept-encoding");
    replay.referer = replayValue(exchange, "referer");
    replay.cookie = replayValue(exchange, "cookie");
    replay.connection = replayValue(exchange, "connection");
    return replay;
}

void RequestAnalyser::analyseExchange(const HttpExchange& exchange)
{
    if (exchange.method != "GET" || (exchange.status != 200 && exchange.status != 206))
        return;
    if (exchange.scheme != "https" && exchange.scheme != "http")
        return;
    // The address is bounded as a request kept from a frame is.
    if (exchange.authority.size() + exchange.path.size() > size_t(kLongestRequest) ||
        !isCleanTarget(exchange.authority) || !startsWithNoCase(exchange.path, "/") || !isCleanTarget(exchange.path))
        return;
    const std::string* typeField = exchange.responseHeader("content-type");
    if (!typeField)
        return;
    std::string_view type(*typeField);
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
        type.remove_prefix(1);

    const QString address = QString::fromLatin1(exchange.scheme.data(), qsizetype(exchange.scheme.size())) +
                            QLatin1String("://") +
                            QString::fromLatin1(exchange.authority.data(), qsizetype(exchange.authority.size())) +
                            QString::fromLatin1(exchange.path.data(), qsizetype(exchange.path.size()));
    m_frameSettingsRead = false;
    if (startsWithNoCase(type, "text/html")) {
        if (!AddressFilters::skipAsPage(address) && !isOwnRequest(replayValue(exchange, "user-agent")))
            appendPages({address});
        return;
    }
    // Streams follow the rules of plain traffic: a manifest is one candidate, its playlists and
    // segments none.
    if (settings().downloadHttp) {
        const QString contentType = QString::fromLatin1(type.data(), qsizetype(qMin<size_t>(type.size(), 256)));
        const qsizetype query = address.indexOf(QLatin1Char('?'));
        const ResponseKind kind = classifyResponse(contentType, QStringView(address).left(query));
        const QString referer = replayValue(exchange, "referer");
        if (kind == ResponseKind::StreamSegment || isPartOfKnownStream(address, referer))
            return;
        if (kind != ResponseKind::Other) {
            if (skipsCandidate(address))
                return;
            keepStream({folderOf(address), referer, {}});
            createCandidate(replayOf(exchange), address, QStringLiteral(".mp4"), newestHistory(),
                            kind == ResponseKind::HlsManifest ? VideoFile::Stream::Hls : VideoFile::Stream::Dash);
            return;
        }
    }
    QString extension;
    if (settings().downloadHttp && startsWithNoCase(type, "application/octet-stream")) {
        extension = QStringLiteral(".bin");
    } else if (settings().downloadHttp && startsWithNoCase(type, "video/")) {
        for (const VideoRow& row : kVideoRows) {
            if (!containsNoCase(type, row.type) && (row.alternative.empty() || !containsNoCase(type, row.alternative)))
                continue;
            if (!row.setting || settings().*row.setting)
                extension = QLatin1String(row.extension);
            break;
        }
    } else if (settings().downloadHttpMusic && startsWithNoCase(type, "audio/")) {
        for (const AudioRow& row : kAudioRows) {
            if (containsNoCase(type, row.type)) {
                extension = QLatin1String(row.extension);
                break;
            }
        }
    }
    if (extension.isEmpty() || skipsCandidate(address))
        return;
    createCandidate(replayOf(exchange), address, extension, isAudioExtension(extension) ? QString() : newestHistory());
}
