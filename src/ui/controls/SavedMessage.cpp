#include "ui/controls/SavedMessage.h"

#include "base/Texts.h"
#include "base/Trace.h"
#include "tools/FolderOpener.h"
#include "tools/ToolRunner.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

namespace {

// xdg-open on folder, detached: it starts the handler FolderOpener named.
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

} // namespace

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
    const FolderOpener::Handler handler = FolderOpener::folderHandler();
    if (!handler.opensFolders()) {
        box->setInformativeText(tx(u"No file manager opens folders on this desktop: the path above can be copied."));
    } else {
        QPushButton* open = box->addButton(tx(u"Open folder"), QMessageBox::ActionRole);
        open->setObjectName(QStringLiteral("openFolder"));
        QObject::connect(open, &QPushButton::clicked, box, [folder, handler] {
            if (!openFolder(folder))
                trace(QStringLiteral("Saved notice: the folder could not be handed to ") + handler.desktopId);
        });
    }
    box->show();
    return box;
}
