#pragma once

#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

// A file a job writes before it has its final name ("<folder>/.part-Xy3kQ9-<name>" beside the
// converter's output, ".cutting-..." beside a fragment, ".copying-..." beside an exported copy). The name is new and
// exclusive: it is created by this object, never taken over from a file already there, so two jobs writing to one final
// name each get their own. While the object lives it holds an advisory lock on the file: that is how a later start
// tells the scratch file of a running job (keep) from one a killed run left behind (remove). The destructor removes the
// file unless it was moved in.
class ScratchFile final
{
public:
    enum class Kind
    {
        Converting, // ".part-"
        Cutting,    // ".cutting-"
        Copying,    // ".copying-"
    };

    // Bytes a scratch name adds in front of the final file name.
    static constexpr qsizetype NameOverheadBytes = 17;

    // Creates the scratch file beside finalPath (the folder must exist); check valid().
    ScratchFile(const QString& finalPath, Kind kind);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool valid() const { return m_fd >= 0; }
    QString path() const { return m_path; }

    // Moves the file to finalPath without replacing anything: when that name is taken (by a
    // file that appeared meanwhile, or another job's output) the first free "<stem> (N).<ext>"
    // is used. Returns the name it got; empty when the move failed (the scratch file stays).
    QString moveIn(const QString& finalPath);
    // Moves the file over finalPath, replacing the file there only when it still is the one
    // the user agreed to replace (agreed: its lstat then; same device, inode and change time);
    // otherwise as moveIn().
    QString moveOver(const QString& finalPath, const struct stat& agreed);

    // Removes the scratch files in folder that no running job holds. Only names this class
    // makes are looked at; returns how many went.
    static int removeStale(const QString& folder);
    // True when fileName has the form of a scratch name.
    static bool isScratchName(const QString& fileName);

private:
    QString m_path;
    int m_fd = -1;
    bool m_moved = false;
};
