#include "ui/CommandDispatch.h"

namespace CommandDispatch {

const QStringList& searchOrder()
{
    // Same order as ShellCommand.
    static const QStringList names = {
        QStringLiteral("DownloadVideoByURL"),
        QStringLiteral("OpenBrowser"),
        QStringLiteral("RecordVideo"),
        QStringLiteral("RecordAudio"),
        QStringLiteral("CutMediaFile"),
        QStringLiteral("ConvertFromMenu"),
        QStringLiteral("MovieDelete"),
        QStringLiteral("MovieRename"),
        QStringLiteral("Import"),
        QStringLiteral("Export"),
        QStringLiteral("Burn"),
        QStringLiteral("View"),
        QStringLiteral("Settings"),
        QStringLiteral("FileInfo"),
        QStringLiteral("Support"),
        QStringLiteral("MoveMySlider"),
        QStringLiteral("PlayerPlay"),
        QStringLiteral("ExternalPlayer"),
        QStringLiteral("PlayerPause"),
        QStringLiteral("PlayerReplay"),
        QStringLiteral("PlayerStrop"),
        QStringLiteral("MakeScreenShot"),
        QStringLiteral("VolumeMute"),
        QStringLiteral("VolumeMinus"),
        QStringLiteral("VolumePlus"),
        QStringLiteral("Disable"),
        QStringLiteral("Enable"),
        QStringLiteral("ClickInPlayer"),
        QStringLiteral("PlayListClick_"),
    };
    return names;
}

ShellCommand find(const QString& request)
{
    const QStringList& names = searchOrder();
    for (int i = 0; i < names.size(); ++i) {
        if (request.contains(names.at(i)))
            return ShellCommand(i);
    }
    return ShellCommand::None;
}

QString nameOf(ShellCommand command)
{
    const int index = int(command);
    if (index < 0 || index >= searchOrder().size())
        return {};
    return searchOrder().at(index);
}

std::optional<double> sliderPercent(const QString& request)
{
    const QString open = QStringLiteral("BBBBB(");
    const qsizetype start = request.indexOf(open);
    if (start < 0)
        return std::nullopt;
    const qsizetype from = start + open.size();
    const qsizetype end = request.indexOf(QStringLiteral(")EEEEE"), from);
    if (end < 0)
        return std::nullopt;
    bool ok = false;
    const double value = request.mid(from, end - from).trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<int> playListIndex(const QString& request)
{
    QString text = request;
    text.remove(QStringLiteral("PlayListClick_"));
    const qsizetype first = text.indexOf(QLatin1Char('"'));
    if (first < 0)
        return std::nullopt;
    const qsizetype second = text.indexOf(QLatin1Char('"'), first + 1);
    if (second < 0)
        return std::nullopt;
    bool ok = false;
    const int value = text.mid(first + 1, second - first - 1).toInt(&ok, 10);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

} // namespace CommandDispatch
