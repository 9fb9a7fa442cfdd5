#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The converter's profiles from "profiles.xml": categories, groups and output profiles with
// their parameter lists and limits, the remembered profile and the output folder. Parsing is
// bounded (file size, element counts, text lengths); the file is outside data.

// The eight parameter lists of a profile, in the order the converter shows them.
enum class ParamList
{
    VideoCodec,
    VideoBitrate, // "Quality of Video:"
    FrameRate,
    Resolution,
    AudioCodec,
    AudioBitrate, // "Quality of Audio:"
    SampleRate,
    Channels,
};
constexpr int ParamListCount = 8;

struct ParamEntry
{
    QString text;
    bool isDefault = false; // the attribute `default` is present
    bool isAuto = false;    // the attribute `auto` is present
};

// One list as the window shows it: its entries and the selected one.
struct ParamChoice
{
    QStringList entries;
    int selected = 0;
    bool defined = false; // the profile has this list (it may still be empty)

    // The selected text; empty when the list has no entries.
    QString selectedText() const;
};

struct ProfileLimit
{
    QString depend;     // only "Video Codec" is acted on
    QString value;      // the codec entry the limit holds for
    QString sizeMax;    // last resolution entry offered; empty: no limit
    QString bitrateMax; // last video quality entry offered; empty: no limit
    bool hasSizeMax = false;
    bool hasBitrateMax = false;
};

struct ConversionProfile
{
    QString name;
    QString desc;
    QString groups;
    QString fileExt;
    bool user = false; // the remembered profile
    std::array<QList<ParamEntry>, ParamListCount> lists;
    std::array<bool, ParamListCount> defined{};
    QList<ProfileLimit> limits;

    const QList<ParamEntry>& list(ParamList which) const { return lists.at(static_cast<int>(which)); }
    // True when the output has no video (an audio extension in the description).
    bool audioOnly() const;
};

struct ProfileCategory
{
    QString name;
    QString desc;
};

struct ProfileGroup
{
    QString name;
    QString desc;
    QString inCategory;
};

// A node of the profile tree: categories at the top, groups below them, profiles as leaves.
struct ProfileTreeNode
{
    QString text;
    int profile = -1; // index into ProfileSet::profiles for a leaf, -1 otherwise
    QList<ProfileTreeNode> children;
};

struct ProfileSet
{
    static constexpr qsizetype MaxFileSize = 4 * 1024 * 1024;
    static constexpr int MaxItems = 2000;  // categories, groups or profiles each
    static constexpr int MaxEntries = 500; // values of one list, limits of one profile
    static constexpr int MaxTextLength = 1024;
    // Nodes of the tree and names of profilePaths(): a group in every category and a profile in
    // every group would otherwise multiply the counts above.
    static constexpr int MaxTreeNodes = 20000;

    QString outputFolder; // the attribute as stored; empty: the default
    QList<ProfileCategory> categories;
    QList<ProfileGroup> groups;
    QList<ConversionProfile> profiles;

    // Reads a document. On failure returns false and sets error (with the line for an XML
    // error, "line 12: ..."); a document without `root` fails too.
    static bool parse(const QByteArray& xml, ProfileSet& set, QString* error);

    // The first profile whose `desc` equals text exactly; -1 when none does.
    int indexOfDesc(const QString& text) const;
    // The profile named "GROUP/NAME" (group `name` and profile `name`, or group and profile
    // descriptions as the tree shows them); -1 when none.
    int indexOfPath(const QString& path) const;
    // "GROUP/NAME" of every profile under each group it belongs to, in tree order.
    QStringList profilePaths() const;

    // The tree as the window builds it, with the interface texts replacing the stored ones;
    // selectedLeaf gets the path (indexes top-down) of the last leaf whose profile is
    // remembered, or stays empty.
    QList<ProfileTreeNode> tree(QList<int>* selectedLeaf = nullptr) const;

    // The lists of a profile: every defined list with the default/auto rule (useDefaults: an
    // `auto` entry also selects), then the limits of the selected video codec applied.
    std::array<ParamChoice, ParamListCount> choices(int profile, bool useDefaults) const;
    // The resolution and video quality lists again for another video codec text.
    void applyCodec(int profile,
                    const QString& codec,
                    bool useDefaults,
                    std::array<ParamChoice, ParamListCount>& choices) const;
};

// Where a loaded set came from and what the user is told about it.
struct ProfileLoad
{
    enum class Source
    {
        File,      // the data folder's profiles.xml
        Shipped,   // the set built into the program (the file is missing or unreadable)
        Malformed, // the file could not be read as profiles; the shipped set stands in
    };
    Source source = Source::Shipped;
    ProfileSet set;
    QString notice; // for the user when source is not File
    // Writes go to the file only when it is the program's to change: never over a file the
    // program could not read.
    bool writable() const { return source != Source::Malformed; }
};

namespace ProfileStore {

// The data folder's "profiles.xml".
QString defaultPath();
// The profile document built into the program.
QByteArray shippedDocument();
ProfileSet shippedSet();

// Loads path; a missing or unreadable file gives the shipped set with a notice, a malformed
// one the shipped set with the parser's message and its line.
ProfileLoad load(const QString& path);

// Marks profile desc as remembered and removes the mark from every other profile. Writes the
// file only when the mark moved (a missing file is created from the shipped document).
// Returns true when it wrote.
bool remember(const QString& path, const QString& desc);

// Sets the output folder; writes only when it changed. Returns true when it wrote.
bool setOutputFolder(const QString& path, const QString& folder);

// The output folder: the stored one, or Documents + "/Trawlix/"; always ends in "/".
QString outputFolder(const ProfileSet& set);

} // namespace ProfileStore
