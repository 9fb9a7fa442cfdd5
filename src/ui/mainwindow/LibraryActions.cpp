#include "ui/mainwindow/LibraryActions.h"

#include "base/AppPaths.h"
#include "base/OutputName.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/UntrustedText.h"
#include "engine/Engine.h"
#include "library/DerivedFiles.h"
#include "library/ExportCopies.h"
#include "library/FileImport.h"
#include "library/MediaTableModel.h"
#include "library/TagStore.h"
#include "ui/mainwindow/MediaSelection.h"
#include "ui/mainwindow/MediaViews.h"
#include "ui/mainwindow/PlayerController.h"
#include "ui/mainwindow/Prompts.h"

#include <QDesktopServices>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace {

// A copy still read after this many grace periods is left to the next start.
constexpr int kDragCleanRetries = 20;

// A title in a question: titles come from the network, so a long one is shortened.
QString shownTitle(const QString& title)
{
    constexpr int kLongest = 80;
    const QString simple = title.simplified();
    return simple.size() > kLongest ? simple.left(kLongest - 1) + QChar(0x2026) : simple;
}

QString lowerExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toLower();
}

} // namespace

LibraryActions::LibraryActions(MediaTableModel& model,
                               MediaSelection& selection,
                               Views views,
                               Prompts& prompts,
                               Engine& engine,
                               PlayerController& player,
                               QWidget* parent)
    : QObject(parent)
    , m_model(model)
    , m_selection(selection)
    , m_views(views)
    , m_prompts(prompts)
    , m_parent(parent)
    , m_engine(engine)
    , m_player(player)
{
    connect(&engine, &Engine::importFinished, this, &LibraryActions::rescanRequested);
    // Emitted on the job's thread: queued here, onto the interface thread.
    connect(&engine, &Engine::exportFinished, this, &LibraryActions::exportDone, Qt::QueuedConnection);
    m_exportPool.setMaxThreadCount(1);
    m_exportPool.setObjectName(QStringLiteral("DragCopies"));
    runDrag = [this](QMimeData* mime) {
        // The drag goes on only while the button that began it is held.
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
            delete mime;
            return;
        }
        auto* drag = new QDrag(m_parent);
        drag->setMimeData(mime);
        drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    };
}

LibraryActions::~LibraryActions()
{
    m_exportStop = true;
    m_exportPool.waitForDone();
    if (m_exporting) {
        // Copies no drag will use.
        ExportCopies::removeUnlessOpen(m_madeCopies);
        QGuiApplication::restoreOverrideCursor();
    }
}

void LibraryActions::deleteMedia()
{
    const QList<int> rows = m_selection.rowsToActOn();
    const bool several = rows.size() >= 2;
    if (rows.isEmpty())
        return;
    if (Settings::instance().showDialogs()) {
        const QString question = several ? tx(u"Are you sure you want to delete the selected media files?")
                                         : tx(u"Are you sure you want to delete \"%1\"?")
                                               .arg(shownTitle(m_model.rowAt(rows.constFirst()).title));
        if (!m_prompts.confirm(question))
            return;
    }
    QStringList paths;
    for (const int row : std::as_const(rows))
        paths << m_selection.pathOfRow(row);
    const int firstRow = *std::min_element(rows.cbegin(), rows.cend());
    for (const QString& path : std::as_const(paths)) {
        // The file goes at the next start; while running it may still be open in the player.
        TagStore::markForDeletion(path);
        DerivedFiles::remove(path);
        m_model.removePath(path);
    }
    if (m_model.rowCount() > 0) {
        const int next = std::min(firstRow, m_model.rowCount() - 1);
        m_selection.selectRow(next);
        m_player.previewRow(next);
    }
    if (several) {
        emit stripReloadRequested();
        if (iconView())
            m_model.sort(MediaTableModel::CaptureTimeColumn, Qt::DescendingOrder);
    }
}

void LibraryActions::renameMedia()
{
    const int row = m_selection.selectedRow();
    if (row < 0)
        return;
    QAbstractItemView* view =
        iconView() ? static_cast<QAbstractItemView*>(&m_views.icons) : static_cast<QAbstractItemView*>(&m_views.table);
    const QModelIndex index = m_model.index(row, MediaTableModel::TitleColumn);
    view->scrollTo(index);
    QRect box = view->visualRect(index);
    if (!iconView()) {
        // Leave the check box and icon visible; the editor covers the title text.
        const int indent = 44;
        box.adjust(indent, 0, 0, 0);
        box.setWidth(std::min(box.width(), view->viewport()->width() - box.left()));
    }
    delete m_renameEditor;
    auto* editor = new QLineEdit(view->viewport());
    m_renameEditor = editor;
    editor->setObjectName(QStringLiteral("renameEditor"));
    editor->setText(m_model.rowAt(row).title);
    editor->setGeometry(box);
    editor->selectAll();
    editor->show();
    editor->setFocus();
    const QString path = m_model.rowAt(row).path;
    connect(editor, &QLineEdit::editingFinished, this, [this, editor, path] {
        if (m_renameEditor != editor)
            return;
        m_renameEditor = nullptr;
        editor->deleteLater();
        finishRename(path, editor->text());
    });
    editor->installEventFilter(this);
}

void LibraryActions::finishRename(const QString& path, const QString& title)
{
    if (title.trimmed().isEmpty())
        return;
    if (!TagStore::write(path, QStringLiteral("title"), title))
        return;
    m_model.setTitleOfPath(path, title);
}

void LibraryActions::exportMedia()
{
    if (m_model.rowCount() == 0)
        return;
    const QString folder = m_prompts.chooseExportFolder();
    if (folder.isEmpty())
        return;
    exportMediaTo(folder);
}

bool LibraryActions::iconView() const
{
    return m_views.icons.isVisibleTo(m_views.icons.parentWidget());
}

void LibraryActions::exportMediaTo(const QString& folder)
{
    // The copies are made on the engine's job pool: a large file never holds the window, and
    // the caption shows the progress.
    QList<ExportCopies::Item> items;
    for (const int row : m_selection.rowsToActOn())
        items.append({m_selection.pathOfRow(row), copyStem(row) + lowerExtension(m_selection.pathOfRow(row))});
    if (items.isEmpty())
        return;
    QString target = folder;
    if (!target.endsWith(QLatin1Char('/')))
        target += QLatin1Char('/');
    m_exportFolder = target;
    m_engine.exportFiles(items, target);
}

void LibraryActions::exportDone(const QStringList& copies)
{
    if (copies.size() == 1)
        m_prompts.showSaved(copies.constFirst());
    else if (!copies.isEmpty())
        m_prompts.showSaved(m_exportFolder.chopped(1));
    emit exported(copies);
}

QString LibraryActions::copyStem(int row) const
{
    // Room for the extension and a " (12)" that keeps an existing copy.
    const QString extension = lowerExtension(m_selection.pathOfRow(row));
    return OutputName::clean(m_model.rowAt(row).title, extension.toUtf8().size() + 8);
}

void LibraryActions::startDragOut()
{
    if (m_exporting)
        return;
    QList<int> rows;
    if (m_selection.selectedRow() >= 0)
        rows << m_selection.selectedRow();
    for (const int row : m_selection.checkedRows()) {
        if (!rows.contains(row))
            rows << row;
    }
    if (rows.isEmpty())
        return;
    QList<ExportCopies::Item> items;
    for (const int row : std::as_const(rows))
        items.append({m_selection.pathOfRow(row), copyStem(row) + lowerExtension(m_selection.pathOfRow(row))});

    // A large file takes a while to copy: the window stays live, the cursor says it is busy,
    // the caption shows the progress, and the drag starts once the copies are there.
    m_exporting = true;
    m_exportStop = false;
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    const QString processing = tx(u"..Processing ");
    m_exportPool.start([this, items, processing] {
        const QStringList copies = ExportCopies::make(
            items,
            [this, processing](int percent) {
                const QString caption = QString::number(percent) + QLatin1Char('%') + processing;
                QMetaObject::invokeMethod(
                    this, [this, caption] { emit captionChanged(caption); }, Qt::QueuedConnection);
            },
            &m_exportStop);
        m_madeCopies = copies; // read by the destructor only, after the worker is joined
        QMetaObject::invokeMethod(
            this, [this, copies] { dragCopiesReady(copies); }, Qt::QueuedConnection);
    });
}

void LibraryActions::dragCopiesReady(const QStringList& copies)
{
    m_exporting = false;
    QGuiApplication::restoreOverrideCursor();
    emit captionRestored();
    if (copies.isEmpty())
        return;
    QList<QUrl> urls;
    for (const QString& copy : copies)
        urls << QUrl::fromLocalFile(copy);
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    if (runDrag)
        runDrag(mime);
    else
        delete mime;
    m_player.previewRow(m_selection.selectedRow());
    // The drop target may still be reading the copies: they go once nobody holds them.
    QTimer::singleShot(dragCopiesGraceMs, this, [this, copies] { removeDragCopies(copies, kDragCleanRetries); });
}

void LibraryActions::removeDragCopies(const QStringList& copies, int retries)
{
    const QStringList staying = ExportCopies::removeUnlessOpen(copies);
    if (!staying.isEmpty() && retries > 0)
        QTimer::singleShot(dragCopiesGraceMs, this,
                           [this, staying, retries] { removeDragCopies(staying, retries - 1); });
}

void LibraryActions::setAllChecked(bool checked)
{
    m_model.setAllChecked(checked);
}

void LibraryActions::invertChecks()
{
    for (int row = 0; row < m_model.rowCount(); ++row) {
        const QModelIndex index = m_model.index(row, MediaTableModel::TitleColumn);
        m_model.setData(index, m_model.rowAt(row).checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
}

void LibraryActions::sortByHeader(int column)
{
    if (column == m_sortColumn)
        m_sortOrder = (m_sortOrder == Qt::AscendingOrder) ? Qt::DescendingOrder : Qt::AscendingOrder;
    else
        m_sortOrder = Qt::AscendingOrder;
    m_sortColumn = column;
    m_model.sort(column, m_sortOrder);
    m_views.table.header()->setSortIndicator(column, m_sortOrder);
}

void LibraryActions::sortDescending(int column)
{
    m_sortColumn = column;
    m_sortOrder = Qt::DescendingOrder;
    m_model.sort(column, Qt::DescendingOrder);
    m_views.table.header()->setSortIndicator(column, Qt::DescendingOrder);
}

QMenu* LibraryActions::buildContextMenu(int row)
{
    auto* menu = new QMenu(m_parent);
    menu->setObjectName(QStringLiteral("tableMenu"));
    auto add = [menu](QMenu* into, const QString& text, int id, const std::function<void()>& action) {
        QAction* item = into->addAction(text);
        item->setData(id);
        QObject::connect(item, &QAction::triggered, menu, action);
    };
    if (row >= 0) {
        add(menu, tx(u"Play\tDblClick"), 1, [this, row] { m_player.playRow(row); });
        add(menu, tx(u"Convert\tF4"), 600, [this] { emit commandTriggered(ShellCommand::ConvertFromMenu); });
        add(menu, tx(u"Rename\tF2"), 2, [this] { renameMedia(); });
        add(menu, tx(u"Delete\tDel"), 3, [this] { deleteMedia(); });
        add(menu, tx(u"Export this media file into a folder\tF5"), 601, [this] { exportMedia(); });
        menu->addSeparator();
        add(menu, tx(u"Cut a fragment"), 605, [this] { emit commandTriggered(ShellCommand::CutMediaFile); });
        add(menu, tx(u"Show file info"), 9, [this] { emit commandTriggered(ShellCommand::FileInfo); });
        add(menu, tx(u"Play in external player"), 8, [this] { m_player.command(ShellCommand::ExternalPlayer); });
        if (m_model.rowAt(row).author.contains(QStringLiteral("http:"))) {
            const QString path = m_model.rowAt(row).path;
            add(menu, tx(u"Source page"), 200, [path] {
                // The tag holds a captured Referer, which anyone on the network can forge:
                // only a whole, strictly parsed web address is handed to the desktop.
                const QUrl page = UntrustedText::webPage(TagStore::read(path, QStringLiteral("author")));
                if (page.isValid())
                    QDesktopServices::openUrl(page);
            });
        }
        menu->addSeparator();
    }
    add(menu, tx(u"Launch Video Downloader"), 102, [this] { emit commandTriggered(ShellCommand::DownloadVideoByURL); });
    add(menu, tx(u"Launch Sound Recorder"), 103, [this] { emit commandTriggered(ShellCommand::RecordAudio); });
    menu->addSeparator();
    add(menu, tx(u"Import your media files into the program"), 101,
        [this] { emit commandTriggered(ShellCommand::Import); });
    menu->addSeparator();
    QMenu* order = menu->addMenu(tx(u"Order media files by..."));
    add(order, tx(u"Title"), 500, [this] { sortDescending(MediaTableModel::TitleColumn); });
    add(order, tx(u"Time"), 501, [this] { sortDescending(MediaTableModel::CaptureTimeColumn); });
    add(order, tx(u"Size (sort item)"), 502, [this] { sortDescending(MediaTableModel::SizeColumn); });
    add(order, tx(u"Format (sort item)"), 503, [this] { sortDescending(MediaTableModel::FormatColumn); });
    add(order, tx(u"Duration (sort item)"), 504, [this] { sortDescending(MediaTableModel::DurationColumn); });
    menu->addSeparator();
    QMenu* checks = menu->addMenu(tx(u"Checkboxes"));
    add(checks, tx(u"Check all files"), 700, [this] { setAllChecked(true); });
    add(checks, tx(u"Uncheck all files"), 701, [this] { setAllChecked(false); });
    add(checks, tx(u"Invert checkboxes"), 702, [this] { invertChecks(); });
    return menu;
}

void LibraryActions::showContextMenu(QAbstractItemView* view, const QPoint& position)
{
    const QModelIndex index = view->indexAt(position);
    int row = -1;
    if (index.isValid()) {
        row = index.row();
        m_selection.selectRow(row);
        m_player.previewRow(row);
    }
    QMenu* menu = buildContextMenu(row);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view->viewport()->mapToGlobal(position));
}

void LibraryActions::tableClicked(QAbstractItemView* view, const QPoint& position)
{
    if (!view->indexAt(position).isValid()) {
        // A click on empty space keeps the selection mark and clears every check box.
        const int row = m_selection.selectedRow();
        setAllChecked(false);
        m_selection.selectRow(row);
    }
    m_player.previewRow(m_selection.selectedRow());
}

bool LibraryActions::handleTableKey(int key)
{
    const bool hasRows = m_model.rowCount() > 0;
    switch (key) {
    case Qt::Key_Delete:
        if (hasRows)
            deleteMedia();
        return true;
    case Qt::Key_F2:
        renameMedia();
        return true;
    case Qt::Key_F4:
        if (hasRows)
            emit commandTriggered(ShellCommand::ConvertFromMenu);
        return true;
    case Qt::Key_F5:
        if (hasRows)
            exportMedia();
        return true;
    default:
        return false;
    }
}

bool LibraryActions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_renameEditor && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        QLineEdit* editor = m_renameEditor;
        m_renameEditor = nullptr;
        editor->deleteLater();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void LibraryActions::importFiles()
{
    const QStringList paths = m_prompts.chooseImportFiles();
    if (!paths.isEmpty())
        m_engine.importFiles(paths);
}

void LibraryActions::importDropped(const QStringList& paths)
{
    if (FileImport::importDropped(m_engine.library(), paths) > 0)
        emit rescanRequested();
    emit captionRestored();
}
