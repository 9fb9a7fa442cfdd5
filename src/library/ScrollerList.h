#pragma once

#include <QList>
#include <QString>

// Reads and writes "videos.xml", the thumbnail scroller's list: a "slideshow" root of at most 100 "photo"
// elements, newest first, each with the attributes "image" ("160x90/" + base + ".jpg") and
// "video" (the library file's name) and the duration "HH:MM:SS" as text. All writers of the
// process go through one lock, and every save replaces the file in one step, so the scroller
// never reads half a list. A list that cannot be parsed or lacks its root is left unchanged.
class ScrollerList final
{
public:
    static constexpr int MaxEntries = 100;
    // A list of MaxEntries takes well under 100 KiB; a larger file is not one this program wrote.
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    // One "photo" element as the scroller shows it.
    struct Entry
    {
        QString duration;  // "HH:MM:SS"
        QString imagePath; // absolute, resolved against the list's folder
        QString video;     // the library file's name
    };

    explicit ScrollerList(QString xmlPath);

    // The list in the data folder.
    static ScrollerList inDataFolder();

    const QString& path() const { return m_path; }

    // Creates the list with exactly the 13 bytes "<slideshow />" when no file exists (an
    // existing file, even an empty one, is left alone). Returns true when it created it.
    bool createIfMissing() const;

    // Puts a new entry first, dropping the oldest ones past MaxEntries. duration is cut to its
    // first 8 characters ("00:01:02.50" gives "00:01:02"). A missing list is created.
    bool addEntry(const QString& base, const QString& videoFileName, const QString& duration);

    // Removes every entry whose image is the thumbnail of base. Returns how many went.
    int removeEntriesFor(const QString& base);

    // The first MaxEntries "photo" elements in document order; empty when the file is missing,
    // larger than MaxFileBytes or has another root. A list malformed further down still gives
    // the entries before the fault.
    QList<Entry> entries() const;

    // The image attribute an entry of base carries.
    static QString imageOf(const QString& base);

private:
    QString m_path;
};
