#include "tools/FolderOpener.h"

#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

namespace FolderOpener {
namespace {

constexpr int AnswerTimeMs = 5000;

QStringList dataDirs()
{
    QStringList dirs;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    dirs << home;
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : system.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        dirs << dir;
    return dirs;
}

// The values of key in the [Desktop Entry] group, split at ";".
QList<QByteArray> listValue(const QByteArray& entry, const QByteArray& key)
{
    bool inGroup = false;
    for (const QByteArray& raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup || !line.startsWith(key))
            continue;
        const QByteArray rest = line.mid(key.size()).trimmed();
        if (!rest.startsWith('='))
            continue;
        QList<QByteArray> values;
        for (const QByteArray& value : rest.mid(1).split(';')) {
            if (!value.trimmed().isEmpty())
                values << value.trimmed();
        }
        return values;
    }
    return {};
}

} // namespace

QString desktopIdFrom(const QString& answer)
{
    const QString id = answer.trimmed();
    if (id.isEmpty() || id.size() > 255 || !id.endsWith(QLatin1String(".desktop")) || id.startsWith(QLatin1Char('.')))
        return {};
    for (const QChar c : id) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                             c == u'.' || c == u'-' || c == u'_' || c == u'+';
        if (!allowed)
            return {};
    }
    return id;
}

bool isBrowserEntry(const QByteArray& entry)
{
    if (listValue(entry, "Categories").contains("WebBrowser"))
        return true;
    const QList<QByteArray> types = listValue(entry, "MimeType");
    return types.contains("x-scheme-handler/http") || types.contains("x-scheme-handler/https");
}

QString findDesktopEntry(const QString& desktopId)
{
    if (desktopIdFrom(desktopId).isEmpty())
        return {};
    for (const QString& dir : dataDirs()) {
        const QString path = dir + QStringLiteral("/applications/") + desktopId;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

Handler folderHandler()
{
    Handler handler;
    const ToolRunner::ToolResult answer = ToolRunner::runToolResult(
        {QStringLiteral("xdg-mime"),
         {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("inode/directory")}},
        nullptr, MaxAnswer, AnswerTimeMs);
    if (answer.code != ToolRunner::ToolResult::Code::Finished || answer.exitCode != 0)
        return handler;
    // One line is the answer; anything else is not one.
    handler.desktopId = desktopIdFrom(answer.output.section(QLatin1Char('\n'), 0, 0));
    handler.path = findDesktopEntry(handler.desktopId);
    if (handler.path.isEmpty())
        return handler;
    QFile file(handler.path);
    if (!file.open(QIODevice::ReadOnly)) {
        handler.path.clear();
        return handler;
    }
    handler.browser = isBrowserEntry(file.read(MaxDesktopEntry));
    return handler;
}

} // namespace FolderOpener
