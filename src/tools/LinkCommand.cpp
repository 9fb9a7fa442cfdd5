#include "tools/LinkCommand.h"

#include <QUrl>

namespace LinkCommand {
namespace {

// The hosts whose addresses with "list=" are playlists of the video site.
constexpr const char* kPlaylistHosts[] = {
    "youtube.com", // the site itself (www., m. and music. contain it)
    "youtu.be",    // its short links
};

bool isIndexCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u',' || c == u'-';
}

bool isPositiveNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return text.toInt() > 0;
}

} // namespace

QStringList playlistHosts()
{
    QStringList hosts;
    for (const char* host : kPlaylistHosts)
        hosts << QString::fromLatin1(host);
    return hosts;
}

bool isPlaylistAddress(const QString& address)
{
    if (!address.contains(QLatin1String("list=")))
        return false;
    for (const char* host : kPlaylistHosts) {
        if (address.contains(QLatin1String(host)))
            return true;
    }
    return false;
}

QString cleanIndexes(const QString& text)
{
    QString cleaned;
    for (QChar c : text) {
        if (isIndexCharacter(c)) {
            cleaned += c;
            if (cleaned.size() >= MaxItemsLength)
                break;
        }
    }
    return cleaned;
}

bool validIndexes(const QString& items)
{
    if (items.isEmpty() || items.size() > MaxItemsLength)
        return false;
    for (QStringView piece : QStringView(items).split(u',')) {
        const qsizetype dash = piece.indexOf(u'-');
        if (dash < 0) {
            if (!isPositiveNumber(piece))
                return false;
            continue;
        }
        const QStringView from = piece.left(dash);
        const QStringView to = piece.mid(dash + 1);
        if (!isPositiveNumber(from) || !isPositiveNumber(to))
            return false;
    }
    return true;
}

QString addressProblem(const QString& address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("Enter the address of a web page");
    if (trimmed.size() > MaxAddressLength)
        return QStringLiteral("The address is too long");
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QStringLiteral("Only http:// and https:// addresses can be downloaded");
    if (url.host().isEmpty())
        return QStringLiteral("The address names no host");
    return {};
}

QString outputTemplate(bool audioOnly, const QString& jobMark)
{
    return QStringLiteral("%(title).") + QString::number(MaxTitleBytes) + QStringLiteral("B") +
           (audioOnly ? QStringLiteral(" - Only Audio") : QString()) + QLatin1Char('~') + jobMark +
           QStringLiteral(".%(ext)s");
}

QString progressTemplate()
{
    return QStringLiteral("download:[trawlix-progress] %(progress.downloaded_bytes)s %(progress.total_bytes)s "
                          "%(progress.total_bytes_estimate)s %(progress.speed)s %(progress.eta)s");
}

ToolCommand
build(const Request& request, const QString& downloadsDir, const QString& partialDir, const QString& jobMark)
{
    QStringList arguments;
    if (request.audioOnly)
        arguments << QStringLiteral("--format") << QStringLiteral("mp3/aac/m4a/ogg/wav");
    if (!request.playlistItems.isEmpty())
        arguments << QStringLiteral("--playlist-items") << request.playlistItems;
    arguments << QStringLiteral("--hls-prefer-native") << QStringLiteral("--ignore-errors");
    // Nothing but the address: no user configuration (it could add a proxy or an archive),
    // no update check, no cache, no colours in the progress text.
    arguments << QStringLiteral("--ignore-config") << QStringLiteral("--no-update") << QStringLiteral("--no-cache-dir")
              << QStringLiteral("--no-mark-watched") << QStringLiteral("--no-colors");
    arguments << QStringLiteral("--newline") << QStringLiteral("--progress-template") << progressTemplate();
    arguments << QStringLiteral("--paths") << downloadsDir << QStringLiteral("--paths")
              << QStringLiteral("temp:") + partialDir;
    arguments << QStringLiteral("-o") << outputTemplate(request.audioOnly, jobMark);
    arguments << QStringLiteral("--") << request.address.trimmed();
    return {QStringLiteral("yt-dlp"), arguments};
}

} // namespace LinkCommand
