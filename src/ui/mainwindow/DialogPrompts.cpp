#include "ui/mainwindow/DialogPrompts.h"

#include "base/Texts.h"
#include "library/LibraryFormat.h"
#include "ui/controls/SavedMessage.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

QString userMediaFolder()
{
    for (const QStandardPaths::StandardLocation location :
         {QStandardPaths::MoviesLocation, QStandardPaths::MusicLocation, QStandardPaths::HomeLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

QString userDocumentsFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

} // namespace

DialogPrompts::DialogPrompts(QWidget* parent)
    : m_parent(parent)
{}

bool DialogPrompts::confirm(const QString& question)
{
    // Plain text: the question may carry a title read from the network.
    QMessageBox box(QMessageBox::Question, Texts::displayName(), question, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QString DialogPrompts::chooseExportFolder()
{
    return QFileDialog::getExistingDirectory(m_parent, tx(u"Select a folder to export"), userDocumentsFolder());
}

QStringList DialogPrompts::chooseImportFiles()
{
    return QFileDialog::getOpenFileNames(m_parent, QString(), userMediaFolder(), LibraryFormat::openFileFilter());
}

void DialogPrompts::showSaved(const QString& path)
{
    showSavedNotice(m_parent, path);
}

void DialogPrompts::inform(const QString& text)
{
    QMessageBox::information(m_parent, Texts::displayName(), text);
}
