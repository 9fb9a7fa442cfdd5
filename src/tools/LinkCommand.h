#pragma once

#include "tools/ToolCommand.h"

#include <QString>
#include <QStringList>

// What a link download asks yt-dlp for, and the rules of the downloader's fields: which
// addresses are playlists of the video site, what the index field may hold, and the argument
// vector that does the download. Nothing here runs a tool.
namespace LinkCommand {

struct Request
{
    QString address; // the page the user pasted
    bool audioOnly = false;
    QString playlistItems; // "1,3-5"; empty: every item
};

// The video site's host names (its own and its short-link host), in the order tested.
QStringList playlistHosts();

// An address of the video site (either host) that also holds "list=".
bool isPlaylistAddress(const QString& address);

// The index field after it loses the focus: every character other than 0-9, "," and "-" is
// dropped ("1-3, 7a" becomes "1-3,7"). The result is at most MaxItemsLength characters.
QString cleanIndexes(const QString& text);
constexpr int MaxItemsLength = 200;

// Whether the cleaned index field is a list yt-dlp reads: numbers and ranges "A-B" joined by
// single commas, every number above 0.
bool validIndexes(const QString& items);

// Empty when the address can be handed to the tool; otherwise why not. Only absolute http and
// https addresses with a host are taken, up to MaxAddressLength characters.
QString addressProblem(const QString& address);
constexpr int MaxAddressLength = 4096;

// Bytes of UTF-8 the title may take in a file name: with " - Only Audio", the "~" mark, the job
// mark, the extension and yt-dlp's own suffixes (".f137", ".part-Frag123") the whole name stays
// under the 255 bytes that ext4 and most other file systems allow.
constexpr int MaxTitleBytes = 160;

// The output template inside "TempDownloads/": "%(title).160B~JOB.%(ext)s", or with
// " - Only Audio" before the "~" for audio only. jobMark (letters and digits) names the job
// that wrote the file; the importer reads the title up to the "~".
QString outputTemplate(bool audioOnly, const QString& jobMark);

// The progress line the job asks yt-dlp for (see LinkProgress).
QString progressTemplate();

// The whole command: yt-dlp with the options of a download, the paths (final files into
// downloadsDir, everything unfinished into partialDir) and the address last, after "--", so
// nothing in it is read as an option. Update checks, configuration files and the cache stay
// off, so the tool reaches nothing but the address and what its page names.
ToolCommand
build(const Request& request, const QString& downloadsDir, const QString& partialDir, const QString& jobMark);

} // namespace LinkCommand
