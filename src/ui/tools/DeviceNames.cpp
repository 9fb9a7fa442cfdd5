// What the sound recorder calls each audio source.
#include "ui/tools/DeviceNames.h"

#include "base/Texts.h"

#include <algorithm>

namespace DeviceNames {
namespace {

QString shortened(QString text)
{
    // A card's description runs on over several lines ("HDA Intel PCH, ALC3246 Analog\nFront").
    text = text.section(QLatin1Char('\n'), 0, 0).simplified();
    if (text.size() > MaxLabel)
        text = text.left(MaxLabel - 3) + QStringLiteral("...");
    return text;
}

} // namespace

Kind kindOf(const AudioSource& source)
{
    if (source.label() == QStringView(RecordSources::OwnDevice))
        return Kind::Own;
    if (source.input == QLatin1String("pulse"))
        return source.name.endsWith(QLatin1String(".monitor")) ? Kind::Monitor : Kind::Input;
    if (source.name == QLatin1String("default"))
        return Kind::Default;
    // One entry per card: "sysdefault:CARD=PCH"; "hw:", "plughw:", "front:" and the like are
    // other ways into the same card.
    if (source.name.startsWith(QLatin1String("sysdefault:CARD=")))
        return Kind::Card;
    return Kind::Other;
}

QString labelOf(const AudioSource& source)
{
    const QString description = shortened(source.description);
    switch (kindOf(source)) {
    case Kind::Own:
        return tx(u"Sonotrap: the sound this computer plays (recommended)");
    case Kind::Monitor: {
        QString output = description;
        if (output.startsWith(QLatin1String("Monitor of ")))
            output = output.mid(11);
        return tx(u"Sound played on ") + (output.isEmpty() ? shortened(source.name) : output);
    }
    case Kind::Input:
        return tx(u"Input: ") + (description.isEmpty() ? shortened(source.name) : description);
    case Kind::Default:
        return tx(u"Default input of the sound system");
    case Kind::Card:
        return tx(u"Sound card: ") + (description.isEmpty() ? shortened(source.name) : description);
    case Kind::Other:
        break;
    }
    const QString name = shortened(source.name);
    return description.isEmpty() ? name : name + QStringLiteral(" (") + description + QLatin1Char(')');
}

QList<Entry> arrange(const QList<AudioSource>& sources)
{
    QList<Entry> entries;
    for (const AudioSource& source : sources)
        entries.append({source, kindOf(source), labelOf(source)});
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return static_cast<int>(a.kind) < static_cast<int>(b.kind);
    });
    return entries;
}

bool hasOwnDevice(const QList<AudioSource>& sources)
{
    return std::any_of(sources.cbegin(), sources.cend(),
                       [](const AudioSource& source) { return kindOf(source) == Kind::Own; });
}

} // namespace DeviceNames
