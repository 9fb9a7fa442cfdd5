#include "app/CommandLine.h"

#include "tools/CutSpan.h"
#include "tools/LinkCommand.h"

namespace {

// Options of Qt's own that take a value (QGuiApplication and the X11 platform read them); they
// pass through untouched.
bool isQtOptionWithValue(const QString& argument)
{
    static const QStringList options = {
        QStringLiteral("-platform"),        QStringLiteral("-platformpluginpath"),
        QStringLiteral("-platformtheme"),   QStringLiteral("-plugin"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"),    QStringLiteral("-style"),
        QStringLiteral("-stylesheet"),      QStringLiteral("-display"),
        QStringLiteral("-geometry"),        QStringLiteral("-title"),
        QStringLiteral("-session"),         QStringLiteral("-name"),
    };
    return options.contains(argument);
}

bool isQtFlag(const QString& argument)
{
    static const QStringList flags = {QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                      QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync")};
    return flags.contains(argument);
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine result;
    // Asking for help or the version always works, whatever else is on the line.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.help = true;
            return result;
        }
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v"))
            result.version = true;
    }
    if (result.version)
        return result;

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const auto takeValue = [&](QString& target) {
            if (i + 1 >= arguments.size()) {
                result.error = argument + QStringLiteral(" needs a value");
                return;
            }
            target = arguments.at(++i);
        };
        if (argument == QLatin1String("--data-dir"))
            takeValue(result.dataDir);
        else if (argument == QLatin1String("--pcap"))
            takeValue(result.pcapFile);
        else if (argument == QLatin1String("--interface"))
            takeValue(result.interfaceName);
        else if (argument == QLatin1String("--keylog")) {
            takeValue(result.keyLogFile);
            if (result.error.isEmpty() && result.keyLogFile.isEmpty())
                result.error = QStringLiteral("--keylog needs a file");
        } else if (argument == QLatin1String("--browser")) {
            // Up to two values that are not options: an address (it has "://") and a name.
            result.browser = true;
            while (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--"))) {
                const QString& value = arguments.at(i + 1);
                QString& target = value.contains(QLatin1String("://")) ? result.browserUrl : result.browserName;
                if (!target.isEmpty() || value.isEmpty())
                    break;
                target = value;
                ++i;
            }
            if (!result.browserUrl.isEmpty() && !result.browserUrl.startsWith(QLatin1String("http://")) &&
                !result.browserUrl.startsWith(QLatin1String("https://")))
                result.error = QStringLiteral("--browser opens http:// and https:// addresses only");
        } else if (argument == QLatin1String("--headless"))
            result.headless = true;
        else if (argument == QLatin1String("--list"))
            result.list = true;
        else if (argument == QLatin1String("--video"))
            result.video = true;
        else if (argument == QLatin1String("--audio"))
            result.audio = true;
        else if (argument == QLatin1String("--record")) {
            QString seconds;
            takeValue(seconds);
            bool ok = false;
            result.recordSeconds = seconds.toInt(&ok);
            if (result.error.isEmpty() && (!ok || result.recordSeconds < 1 || result.recordSeconds > MaxRecordSeconds))
                result.error =
                    QStringLiteral("--record needs a number of seconds from 1 to ") + QString::number(MaxRecordSeconds);
        } else if (argument == QLatin1String("--format")) {
            takeValue(result.recordFormat);
            if (result.error.isEmpty() && result.recordFormat != QLatin1String("mp3") &&
                result.recordFormat != QLatin1String("wav"))
                result.error = QStringLiteral("--format is mp3 or wav");
        } else if (argument == QLatin1String("--download-link")) {
            takeValue(result.downloadLink);
            if (result.error.isEmpty() && result.downloadLink.isEmpty())
                result.error = QStringLiteral("--download-link needs an address");
        } else if (argument == QLatin1String("--audio-only"))
            result.audioOnly = true;
        else if (argument == QLatin1String("--playlist-items")) {
            takeValue(result.playlistItems);
            if (result.error.isEmpty() && !LinkCommand::validIndexes(result.playlistItems))
                result.error = QStringLiteral("--playlist-items takes numbers and ranges such as 1,3-5");
        } else if (parseCutOption(arguments, i, result)) {
        } else if (argument == QLatin1String("--convert"))
            takeValue(result.convertFile);
        else if (argument == QLatin1String("--profile"))
            takeValue(result.profile);
        else if (argument == QLatin1String("--list-profiles"))
            result.listProfiles = true;
        else if (argument == QLatin1String("/min"))
            result.startHidden = true; // a whole argument only: "--data-dir /tmp/minutes" is no request
        else if (isQtOptionWithValue(argument))
            ++i;
        else if (isQtFlag(argument)) {
        } else if (argument.startsWith(QLatin1Char('-')))
            result.error = QStringLiteral("unknown option ") + argument;
        if (!result.error.isEmpty())
            break;
    }
    if (result.error.isEmpty() && result.recordSeconds == 0 && arguments.contains(QLatin1String("--format")))
        result.error = QStringLiteral("--format goes with --record");
    if (result.error.isEmpty() && result.downloadLink.isEmpty() &&
        (result.audioOnly || !result.playlistItems.isEmpty()))
        result.error = QStringLiteral("--audio-only and --playlist-items go with --download-link");
    if (result.error.isEmpty() && result.cutFile.isEmpty() && (result.cutFromMs >= 0 || result.cutToMs >= 0))
        result.error = QStringLiteral("--from and --to go with --cut");
    if (result.error.isEmpty() && !result.cutFile.isEmpty() && (result.cutFromMs < 0 || result.cutToMs < 0))
        result.error = QStringLiteral("--cut needs --from SECONDS and --to SECONDS");
    if (result.error.isEmpty() && !result.convertFile.isEmpty() && result.profile.isEmpty())
        result.error = QStringLiteral("--convert needs --profile \"GROUP/NAME\" (see --list-profiles)");
    if (result.error.isEmpty() && result.convertFile.isEmpty() && arguments.contains(QLatin1String("--profile")))
        result.error = QStringLiteral("--profile goes with --convert");
    if (result.error.isEmpty() && result.convertFile.isEmpty() && result.cutFile.isEmpty() &&
        arguments.contains(QLatin1String("--output")))
        result.error = QStringLiteral("--output goes with --convert or --cut");
    if (result.error.isEmpty() && (result.video || result.audio) && !result.headless)
        result.error = QStringLiteral("--video and --audio go with --headless");
    return result;
}

bool CommandLine::parseCutOption(const QStringList& arguments, qsizetype& i, CommandLine& result)
{
    const QString& argument = arguments.at(i);
    QString* text = nullptr;
    qint64* ms = nullptr;
    QString seconds;
    if (argument == QLatin1String("--cut"))
        text = &result.cutFile;
    else if (argument == QLatin1String("--output"))
        text = &result.outputDir;
    else if (argument == QLatin1String("--from"))
        ms = &result.cutFromMs;
    else if (argument == QLatin1String("--to"))
        ms = &result.cutToMs;
    else
        return false;
    if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
        result.error = argument + QStringLiteral(" needs a value");
        return true;
    }
    const QString& value = arguments.at(++i);
    if (text) {
        *text = value;
        return true;
    }
    const std::optional<qint64> parsed = CutSpan::parseSeconds(value);
    if (!parsed)
        result.error = argument + QStringLiteral(" needs a number of seconds such as 83.4, not ") + value.left(40);
    else
        *ms = *parsed;
    return true;
}

QString CommandLine::versionLine()
{
    return QStringLiteral("trawlix ") + QStringLiteral(TRAWLIX_VERSION);
}

QString CommandLine::errorLine() const
{
    return QStringLiteral("trawlix: ") + error + QStringLiteral(" (trawlix --help lists the options)");
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: trawlix [/min] [--data-dir DIR] [--interface NAME] [--keylog FILE]\n"
        "       trawlix --headless [--data-dir DIR] [--interface NAME | --pcap FILE] [--keylog FILE]\n"
        "       trawlix --headless [--video] [--audio] [--data-dir DIR] [--interface NAME]\n"
        "       trawlix --headless --list [--data-dir DIR]\n"
        "       trawlix --browser [NAME] [URL] [--keylog FILE]\n"
        "       trawlix --record SECONDS [--format mp3|wav] [--data-dir DIR]\n"
        "       trawlix --download-link URL [--audio-only] [--playlist-items 1,3-5] [--data-dir DIR]\n"
        "       trawlix --cut FILE --from SECONDS --to SECONDS [--output DIR]\n"
        "       trawlix --convert FILE --profile \"GROUP/NAME\" [--output DIR] [--data-dir DIR]\n"
        "       trawlix --list-profiles [--data-dir DIR]\n"
        "       trawlix --help | --version\n"
        "\n"
        "  /min              start hidden in the tray\n"
        "  --data-dir DIR    keep the library and working folders in DIR\n"
        "                    (default: $TRAWLIX_HOME, else $XDG_DATA_HOME/Trawlix)\n"
        "  --interface NAME  capture traffic on this network adapter only\n"
        "  --keylog FILE     read TLS secrets from this key log (a browser started with\n"
        "                    SSLKEYLOGFILE=FILE writes it) to catch media fetched over HTTPS\n"
        "  --browser [NAME] [URL]  start the browser NAME (default: your default browser)\n"
        "                    so that it writes its TLS keys where Trawlix reads them, and exit;\n"
        "                    close the browser first if it runs already\n"
        "  --headless        run without windows and print each detected and downloaded file\n"
        "  --video           with --headless: detect videos in this run, whatever the settings say\n"
        "  --audio           with --headless: detect music in this run, whatever the settings say\n"
        "  --pcap FILE       with --headless: analyse a capture file instead of live traffic\n"
        "  --list            with --headless: print the library as the media table shows it\n"
        "  --record SECONDS  record what the computer plays (the Sonotrap device) for SECONDS,\n"
        "                    import the recording into the library and exit\n"
        "  --format FORMAT   with --record: mp3 (the default) or wav\n"
        "  --download-link URL  download the video of a web page with yt-dlp, import it into\n"
        "                    the library and exit\n"
        "  --audio-only      with --download-link: only the sound\n"
        "  --playlist-items LIST  with --download-link: only these items of a playlist\n"
        "  --cut FILE        cut the span --from SECONDS --to SECONDS out of FILE without\n"
        "                    re-encoding, from the keyframe at or before its start, into\n"
        "                    --output DIR (default: Documents/Trawlix) and print the file's path\n"
        "  --convert FILE    convert FILE with a profile of the converter, printing the\n"
        "                    percentage every second\n"
        "  --profile NAME    with --convert: the profile as --list-profiles prints it\n"
        "  --output DIR      with --convert or --cut: the folder for the new file\n"
        "                    (default: the converter's output folder, Documents/Trawlix for cuts)\n"
        "  --list-profiles   print the converter's profiles, one a line\n"
        "  -h, --help        print these options and exit\n"
        "  -v, --version     print the version and exit\n");
}
