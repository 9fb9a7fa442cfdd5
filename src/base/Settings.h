#pragma once

#include <QString>
#include <QStringList>

// Which variant of a segmented stream is downloaded ("streamvariant": "best", "as played",
// "smallest"; anything else reads as "best").
enum class StreamVariantChoice
{
    Best,
    AsPlayed,
    Smallest,
};

// The persistent settings: one INI file of string values, read and written one value at a
// time so that every thread sees the latest stored text. Flags are the texts "true" and
// "false"; a missing value reads as the empty text.
class Settings final
{
public:
    // One row of the settings table: the stored name and the text a fresh store starts with.
    struct Definition
    {
        const char* name;
        const char* defaultText; // nullptr: the value has no default and is not seeded
    };

    static constexpr int MaxValueLength = 259;

    explicit Settings(QString iniPath);

    // The process-wide store; tests install their own with setInstance().
    static Settings& instance();
    static void setInstance(Settings* settings);

    const QString& path() const { return m_path; }
    bool exists() const;

    // Creates the file with the Defaults column when it does not exist yet.
    void seedDefaultsIfMissing() const;

    QString read(const QString& name) const;
    void write(const QString& name, const QString& value);

    // A value for this run only (the command line's --video): every store reads it instead of
    // the stored text until the process ends; nothing is written.
    static void setForThisRun(const QString& name, const QString& value);

    // Read rules.
    bool flag(const QString& name) const;             // on when exactly "true"
    bool flagIgnoringCase(const QString& name) const; // "showmessage", "showdialogs"
    int integer(const QString& name) const;           // decimal; missing or bad text gives 0

    // Typed accessors for the values read in many places.
    bool downloadHttp() const { return flag(QStringLiteral("downloadhttp")); }
    bool downloadHttpMusic() const { return flag(QStringLiteral("downloadhttpmusic")); }
    bool accelerator() const { return flag(QStringLiteral("accelerator")); }
    bool repairVideos() const { return flag(QStringLiteral("repairvideos")); }
    bool getMusicFromCache() const { return flag(QStringLiteral("getmusicfromcache")); }
    bool keepAspect() const { return flag(QStringLiteral("aspect")); }
    bool amplifier() const { return flag(QStringLiteral("amplifier")); }
    int volume() const { return integer(QStringLiteral("volume")); }
    bool dragAndDrop() const { return flag(QStringLiteral("draganddrop")); }
    bool autoOpenFolder() const { return flag(QStringLiteral("autoopenfolder")); }
    bool cutPreview() const { return flag(QStringLiteral("cutpreview")); }
    bool showMessage() const { return flagIgnoringCase(QStringLiteral("showmessage")); }
    bool showDialogs() const { return flagIgnoringCase(QStringLiteral("showdialogs")); }
    bool restoreMainWindow() const { return flag(QStringLiteral("restoremainwindow")); }
    QString interfaceName() const { return read(QStringLiteral("interface")); }
    // The TLS key log named by the user ("" = Trawlix's own) and the switch that makes every
    // browser of the next login write Trawlix's own.
    QString keyLogFile() const { return read(QStringLiteral("keylogfile")); }
    bool keyLogEverywhere() const { return flag(QStringLiteral("keylogeverywhere")); }
    StreamVariantChoice streamVariantChoice() const;
    void setStreamVariantChoice(StreamVariantChoice choice);

    // Every value of the table with its default, in table order.
    static const QList<Definition>& table();

    // The values "Save and Close" writes, in the order it writes them.
    static const QStringList& saveOrder();

private:
    QString m_path;
};
