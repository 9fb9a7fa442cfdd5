#include "tools/RecordSources.h"

#include "tools/ToolRunner.h"

namespace RecordSources {
namespace {

constexpr qsizetype MaxLine = 1024;
constexpr qsizetype MaxOutput = 256 * 1024;

bool validName(const QString& name)
{
    // Never something ffmpeg would read as an option or a pattern of other inputs.
    return !name.isEmpty() && !name.startsWith(QLatin1Char('-'));
}

} // namespace

QList<AudioSource> parse(const QString& input, const QString& output)
{
    QList<AudioSource> sources;
    const QString header = QStringLiteral("Auto-detected sources for ") + input + QLatin1Char(':');
    bool inList = false;
    const QStringList lines = output.left(MaxOutput).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line == header) {
            inList = true;
            continue;
        }
        if (!inList || line.size() > MaxLine)
            continue;
        if (!line.startsWith(QLatin1String("  ")) && !line.startsWith(QLatin1String("* "))) {
            inList = false;
            continue;
        }
        const QString entry = line.mid(2);
        const qsizetype open = entry.indexOf(QLatin1String(" ["));
        const qsizetype close = entry.lastIndexOf(QLatin1Char(']'));
        AudioSource source{input, entry.trimmed(), {}};
        if (open > 0 && close > open) {
            source.name = entry.left(open);
            source.description = entry.mid(open + 2, close - open - 2).trimmed();
        } else if (source.name.contains(QLatin1Char(' '))) {
            continue;
        }
        if (validName(source.name) && sources.size() < MaxSources)
            sources.append(source);
    }
    return sources;
}

QList<AudioSource> discover()
{
    QList<AudioSource> listed;
    for (const QString& input : {QStringLiteral("alsa"), QStringLiteral("pulse")}) {
        const QString output = ToolRunner::runTool(
            {QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-sources"), input}});
        for (const AudioSource& source : parse(input, output))
            listed.prepend(source);
    }
    return listed;
}

QList<bool> initialChecks(const QList<AudioSource>& listed)
{
    QList<bool> checks;
    for (const AudioSource& source : listed)
        checks.append(source.label() == QStringView(OwnDevice));
    if (checks.size() == 1)
        checks.first() = true;
    return checks;
}

QStringList inputArguments(const QList<AudioSource>& checked)
{
    QStringList arguments;
    for (const AudioSource& source : checked)
        arguments << QStringLiteral("-f") << source.input << QStringLiteral("-i") << source.name;
    return arguments;
}

} // namespace RecordSources
