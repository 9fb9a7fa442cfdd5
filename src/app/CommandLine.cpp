#include "app/CommandLine.h"

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine result;
    // "/min" is searched for anywhere in the whole command line, also inside a longer word.
    result.startHidden = arguments.join(QLatin1Char(' ')).contains(QLatin1String("/min"));

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
        else if (argument == QLatin1String("--headless"))
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
        } else if (argument.contains(QLatin1String("/min")))
            continue;
        else if (argument.startsWith(QLatin1String("--")))
            result.error = QStringLiteral("unknown option ") + argument;
        if (!result.error.isEmpty())
            break;
    }
    if (result.error.isEmpty() && result.recordSeconds == 0 && arguments.contains(QLatin1String("--format")))
        result.error = QStringLiteral("--format goes with --record");
    if (result.error.isEmpty() && (result.video || result.audio) && !result.headless)
        result.error = QStringLiteral("--video and --audio go with --headless");
    return result;
}

QString CommandLine::usage()
{
    return QStringLiteral("Usage: trawlix [/min] [--data-dir DIR] [--interface NAME]\n"
                          "       trawlix --headless [--data-dir DIR] [--interface NAME | --pcap FILE]\n"
                          "       trawlix --headless [--video] [--audio] [--data-dir DIR] [--interface NAME]\n"
                          "       trawlix --headless --list [--data-dir DIR]\n"
                          "       trawlix --record SECONDS [--format mp3|wav] [--data-dir DIR]\n"
                          "\n"
                          "  /min              start hidden in the tray\n"
                          "  --data-dir DIR    keep the library and working folders in DIR\n"
                          "                    (default: $TRAWLIX_HOME, else $XDG_DATA_HOME/Trawlix)\n"
                          "  --interface NAME  capture traffic on this network adapter only\n"
                          "  --headless        run without windows and print each detected and downloaded file\n"
                          "  --video           with --headless: detect videos in this run, whatever the settings say\n"
                          "  --audio           with --headless: detect music in this run, whatever the settings say\n"
                          "  --pcap FILE       with --headless: analyse a capture file instead of live traffic\n"
                          "  --list            with --headless: print the library as the media table shows it\n"
                          "  --record SECONDS  record what the computer plays (the Sonotrap device) for SECONDS,\n"
                          "                    import the recording into the library and exit\n"
                          "  --format FORMAT   with --record: mp3 (the default) or wav\n");
}
