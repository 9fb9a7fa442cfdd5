#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The one way into "Videos/". A base name names a library file and all its pictures, so a base
// is free only while nothing on disk uses it (BaseNames::takenOnDisk) and no importer holds it.
// Every file is made first as a scratch file in "Temp/" (the same file system), checked, and
// moved in under a base that is reserved for the move and never replaces a file. What it was made
// from is removed only once the library file is in place, so a failure at any step leaves the
// source where it was and nothing in "Videos/". extension comes with its dot.
namespace LibraryTarget {

// How far a converted file's duration may be from its source's: this many hundredths of a
// second plus one percent of the source (container and encoder rounding, never a lost tail).
inline constexpr qint64 DurationSlackCentis = 50;

// A scratch file in "Temp/" under a random name ending in extension, created exclusively (never
// a file of someone else's) and held open while the object lives, so that no start-up cleaning
// takes it from a running import. It is removed with the object unless it was moved in.
class Scratch final
{
public:
    explicit Scratch(const QString& extension);
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool isValid() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }
    // The file went elsewhere (moved into the library): it is no longer removed.
    void release() { m_released = true; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_released = false;
};

// Moves staged (a finished file on the same file system) into "Videos/" under the first free
// base from seconds on. The base is reserved while it is chosen and taken, also against other
// Trawlix processes, and the move never replaces a file. The file is on the disk (fsync) before
// it moves, and its new name after, so its source may go at once. Returns the new path, or the
// empty text when it failed (the staged file then stays where it was).
QString moveIn(const QString& staged, qint64 seconds, const QString& extension);

// The reservation file of a base in "Temp/": while it exists no importer takes that base.
QString reservationPath(qint64 seconds);

// What goes in.
struct Job
{
    QString source;            // what the library file is made from
    qint64 seconds = 0;        // the first base to try
    QString extension;         // of the library file
    bool removeSource = false; // the source goes once its library file is in place
};

// How a placing ended.
struct Placement
{
    enum class Outcome
    {
        Placed,        // path is the library file
        NoScratch,     // "Temp/" refused a scratch file
        StagingFailed, // the copy or the tool failed (why says how)
        Empty,         // the staged file holds nothing
        WrongDuration, // the staged file is shorter or longer than its source
        NotMoved,      // no free base could be taken, or "Videos/" refused the file
    };

    Outcome outcome = Outcome::NotMoved;
    QString path;
    QString why; // for the trace, when not placed

    bool placed() const { return outcome == Outcome::Placed; }
};

// Makes the staged file at scratch; returns the empty text on success, else why it failed.
using Stage = std::function<QString(const QString& scratch)>;

// Stages, checks that the staged file holds something, moves it in and removes the source when
// asked. A failure is traced with its reason.
Placement place(const Job& job, const Stage& stage);

// The source byte for byte (the staged copy must have the source's size).
Placement copyIn(const Job& job, const std::function<void(int percent)>& progress = {});

// ffmpeg -i source arguments... scratch. The run must end with exit status 0, and when the
// source has a duration the staged file must have the same within the slack.
Placement
convertIn(const Job& job, const QStringList& arguments, const std::function<void(int percent)>& progress = {});

// A finished file on the same file system (a stream muxed in its folder in "Temp/") moved in
// itself, without a copy: it must hold something and, when expectedCentis is not negative, last
// that long within slackCentis. On any failure it stays where it was. job.removeSource is not
// looked at: the source is what moves.
Placement takeIn(const Job& job, qint64 expectedCentis, qint64 slackCentis);

// A media file's duration in hundredths of a second as ffprobe reads it; -1 when it has none.
qint64 durationCentis(const QString& path);

} // namespace LibraryTarget
