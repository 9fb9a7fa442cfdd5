#include "ui/controls/SavedNotice.h"

#include "base/Texts.h"
#include "base/Trace.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

constexpr int kQueryTimeMs = 5000;
constexpr qsizetype kLongestQueryOutput = 1024;
constexpr qint64 kLargestDesktopEntry = 64 * 1024;

// The "Categories=" value of a desktop entry found where xdg-open looks for it; empty text when
// the entry has none, a null text when there is no such entry.
QString categoriesOf(const QString& entry)
{
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    for (const QString& folder : folders) {
        QFile file(QDir(folder).filePath(entry));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = file.read(kLargestDesktopEntry);
        for (const QByteArray& line : text.split('\n')) {
            if (line.startsWith("Categories="))
                return QString::fromUtf8(line.mid(11)).trimmed();
        }
        return QStringLiteral("");
    }
    return {};
}

} // namespace

namespace SavedNotice {

QString fileManagerEntry()
{
    if (ToolRunner::findTool(QStringLiteral("xdg-mime")).isEmpty())
        return {};
    const ToolRunner::ToolResult result = ToolRunner::runToolResult(
        {QStringLiteral("xdg-mime"),
         {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("inode/directory")}},
        nullptr, kLongestQueryOutput, kQueryTimeMs);
    if (result.code != ToolRunner::ToolResult::Code::Finished || result.exitCode != 0)
        return {};
    // One desktop file name, nothing else: "name.desktop" of letters, digits, '.', '-', '_'.
    static const QRegularExpression entryName(QStringLiteral("^[A-Za-z0-9._-]{1,200}\\.desktop$"));
    const QString entry = result.output.trimmed();
    if (!entryName.match(entry).hasMatch())
        return {};
    const QString categories = categoriesOf(entry);
    if (categories.isNull())
        return {};
    if (categories.split(QLatin1Char(';')).contains(QStringLiteral("WebBrowser")))
        return {};
    return entry;
}

bool openFolder(const QString& folder)
{
    const QString opener = ToolRunner::findTool(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return false;
    QProcess process;
    process.setProgram(opener);
    process.setArguments({folder});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace SavedNotice

QMessageBox* showSavedNotice(QWidget* parent, const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    auto* box = new QMessageBox(QMessageBox::Information, Texts::displayName(), tx(u"Saved to %1").arg(path),
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("SavedNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setTextFormat(Qt::PlainText); // a path may hold anything, markup too
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QString manager = SavedNotice::fileManagerEntry();
    if (manager.isEmpty()) {
        box->setInformativeText(tx(u"No file manager opens folders on this desktop: the path above can be copied."));
    } else {
        QPushButton* open = box->addButton(tx(u"Open folder"), QMessageBox::ActionRole);
        open->setObjectName(QStringLiteral("openFolder"));
        QObject::connect(open, &QPushButton::clicked, box, [folder, manager] {
            if (!SavedNotice::openFolder(folder))
                trace(QStringLiteral("Saved notice: xdg-open could not start for ") + manager);
        });
    }
    box->show();
    return box;
}
