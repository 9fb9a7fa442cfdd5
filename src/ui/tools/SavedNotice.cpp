// "Saved to ..." under a tool window, with "Open folder" where the desktop has a file manager.
#include "ui/tools/SavedNotice.h"

#include "base/Texts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QtConcurrent>

SavedNotice::SavedNotice(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("savedNotice"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("savedText"));
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_open = new QPushButton(tx(u"Open folder"), this);
    m_open->setObjectName(QStringLiteral("openSavedFolder"));
    m_open->setAutoDefault(false);
    m_open->hide();
    layout->addWidget(m_label, 1);
    layout->addWidget(m_open, 0, Qt::AlignTop);
    connect(m_open, &QPushButton::clicked, this, [this] { openFolder(m_folder); });
    reveal = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    hide();
}

SavedNotice::~SavedNotice() = default;

void SavedNotice::askHandler()
{
    if (m_asked)
        return;
    m_asked = true;
    auto* watcher = new QFutureWatcher<FolderOpener::Handler>(this);
    connect(watcher, &QFutureWatcher<FolderOpener::Handler>::finished, this, [this, watcher] {
        m_handler = watcher->result();
        m_handlerKnown = true;
        updateButton();
        emit handlerKnownChanged(canOpenFolders());
    });
    watcher->setFuture(QtConcurrent::run(&FolderOpener::folderHandler));
}

void SavedNotice::showSaved(const QString& path)
{
    const QFileInfo info(path);
    showFolder(tx(u"Saved to ") + QDir::toNativeSeparators(path), info.isDir() ? path : info.absolutePath());
}

void SavedNotice::showSavedFiles(int count, const QString& folder)
{
    showFolder(tx(u"Saved %1 files to ").arg(count) + QDir::toNativeSeparators(folder), folder);
}

void SavedNotice::showFolder(const QString& text, const QString& folder)
{
    askHandler();
    m_label->setText(text);
    m_folder = folder;
    updateButton();
    setVisible(true);
}

bool SavedNotice::openFolder(const QString& folder)
{
    if (!canOpenFolders() || folder.isEmpty() || !reveal)
        return false;
    reveal(folder);
    return true;
}

void SavedNotice::updateButton()
{
    m_open->setVisible(canOpenFolders() && !m_folder.isEmpty());
}
