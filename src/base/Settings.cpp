#include "base/Settings.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSettings>

#include <atomic>

namespace {

std::atomic<Settings*> g_instance{nullptr};

// The values set for this run; read on every thread.
QMutex g_runValuesMutex;
QHash<QString, QString> g_runValues;
std::atomic<bool> g_hasRunValues{false};

} // namespace

Settings::Settings(QString iniPath)
    : m_path(std::move(iniPath))
{}

Settings& Settings::instance()
{
    Settings* settings = g_instance.load();
    Q_ASSERT_X(settings, "Settings::instance", "no settings store installed");
    return *settings;
}

void Settings::setInstance(Settings* settings)
{
    g_instance.store(settings);
}

bool Settings::exists() const
{
    return QFileInfo::exists(m_path);
}

void Settings::seedDefaultsIfMissing() const
{
    if (exists())
        return;
    QSettings store(m_path, QSettings::IniFormat);
    for (const Definition& definition : table()) {
        if (definition.defaultText)
            store.setValue(QString::fromLatin1(definition.name), QString::fromLatin1(definition.defaultText));
    }
    store.sync();
}

void Settings::setForThisRun(const QString& name, const QString& value)
{
    const QMutexLocker lock(&g_runValuesMutex);
    g_runValues.insert(name, value);
    g_hasRunValues.store(true);
}

QString Settings::read(const QString& name) const
{
    if (g_hasRunValues.load()) {
        const QMutexLocker lock(&g_runValuesMutex);
        const auto found = g_runValues.constFind(name);
        if (found != g_runValues.constEnd())
            return *found;
    }
    // A fresh QSettings per call: QSettings shares its parsed file between instances and
    // notices writes from other instances, and distinct instances are safe across threads.
    const QSettings store(m_path, QSettings::IniFormat);
    const QVariant value = store.value(name);
    if (!value.isValid())
        return {};
    // A list (a value with an unquoted comma) is not a text we wrote: it reads as empty.
    if (value.typeId() != QMetaType::QString)
        return {};
    QString text = value.toString();
    if (text.size() > MaxValueLength)
        return {};
    return text;
}

void Settings::write(const QString& name, const QString& value)
{
    QSettings store(m_path, QSettings::IniFormat);
    store.setValue(name, value);
    store.sync();
}

bool Settings::flag(const QString& name) const
{
    return read(name) == QLatin1String("true");
}

bool Settings::flagIgnoringCase(const QString& name) const
{
    return read(name).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

int Settings::integer(const QString& name) const
{
    bool ok = false;
    const int value = read(name).trimmed().toInt(&ok);
    return ok ? value : 0;
}

StreamVariantChoice Settings::streamVariantChoice() const
{
    const QString text = read(QStringLiteral("streamvariant"));
    if (text == QLatin1String("as played"))
        return StreamVariantChoice::AsPlayed;
    if (text == QLatin1String("smallest"))
        return StreamVariantChoice::Smallest;
    return StreamVariantChoice::Best;
}

void Settings::setStreamVariantChoice(StreamVariantChoice choice)
{
    const char* text = "best";
    if (choice == StreamVariantChoice::AsPlayed)
        text = "as played";
    else if (choice == StreamVariantChoice::Smallest)
        text = "smallest";
    write(QStringLiteral("streamvariant"), QString::fromLatin1(text));
}

const QList<Settings::Definition>& Settings::table()
{
    static const QList<Definition> definitions = {
        {"downloadhttp", "false"},
        {"mp4", "true"},
        {"x_flv", "true"},
        {"webm", "true"},
        {"quicktime", "false"},
        {"x_m4v", "false"},
        {"mpeg", "false"},
        {"x_matroska", "false"},
        {"x_ms_wmv", "false"},
        {"threegpp", "false"},
        {"x_msvideo", "false"},
        {"ogg", "false"},
        {"accelerator", "true"},
        {"repairvideos", "true"},
        {"downloadhttpmusic", "true"},
        {"getmusicfromcache", "true"},
        {"chrome", "true"},
        {"firefox", "true"},
        {"yandex", "true"},
        {"opera", "true"},
        {"ie", "true"},
        {"cutpreview", "true"},
        {"aspect", "true"},
        {"amplifier", "false"},
        {"volume", "100"},
        {"draganddrop", "true"},
        {"autoopenfolder", "true"},
        {"showmessage", "true"},
        {"showdialogs", "true"},
        {"restoremainwindow", "true"},
        {"window", "NotSet"},
        {"tableview", "report"},
        // Not in the stored table of the original program: the capture adapter ("" = every
        // adapter) that this build lets the user pin.
        {"interface", nullptr},
        // Added with segmented streams: which variant of a stream is downloaded.
        {"streamvariant", "best"},
        // Added with HTTPS: a key log the user names, and the login-wide key log switch.
        {"keylogfile", nullptr},
        {"keylogeverywhere", "false"},
    };
    return definitions;
}

const QStringList& Settings::saveOrder()
{
    static const QStringList order = {
        QStringLiteral("autoopenfolder"),
        QStringLiteral("showmessage"),
        QStringLiteral("showdialogs"),
        QStringLiteral("aspect"),
        QStringLiteral("amplifier"),
        QStringLiteral("volume"),
        QStringLiteral("downloadhttpmusic"),
        QStringLiteral("getmusicfromcache"),
        QStringLiteral("chrome"),
        QStringLiteral("firefox"),
        QStringLiteral("yandex"),
        QStringLiteral("opera"),
        QStringLiteral("ie"),
        QStringLiteral("downloadhttp"),
        QStringLiteral("accelerator"),
        QStringLiteral("repairvideos"),
        QStringLiteral("mp4"),
        QStringLiteral("x_flv"),
        QStringLiteral("webm"),
        QStringLiteral("quicktime"),
        QStringLiteral("x_m4v"),
        QStringLiteral("mpeg"),
        QStringLiteral("x_matroska"),
        QStringLiteral("x_ms_wmv"),
        QStringLiteral("threegpp"),
        QStringLiteral("x_msvideo"),
        QStringLiteral("ogg"),
        QStringLiteral("cutpreview"),
        QStringLiteral("draganddrop"),
        QStringLiteral("restoremainwindow"),
    };
    return order;
}
