// The main window.
#include "ui/mainwindow/Page2.h"

#include "base/AppPaths.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "base/Trace.h"
#include "base/UsageCounters.h"
#include "download/DownloadRows.h"
#include "engine/Engine.h"
#include "engine/KeyLogLocation.h"
#include "library/MediaTableModel.h"
#include "library/TimeFilter.h"
#include "tools/ToolRunner.h"
#include "ui/controls/LineIcons.h"
#include "ui/controls/MenuRail.h"
#include "ui/controls/PlayerBar.h"
#include "ui/controls/ShellTheme.h"
#include "ui/controls/ThumbnailStrip.h"
#include "ui/controls/TrafficMonitor.h"
#include "ui/mainwindow/CaptureStatusText.h"
#include "ui/mainwindow/CommandRouter.h"
#include "ui/mainwindow/DialogPrompts.h"
#include "ui/mainwindow/DownloadListWidget.h"
#include "ui/mainwindow/FilterPanel.h"
#include "ui/mainwindow/LibraryActions.h"
#include "ui/mainwindow/MediaSelection.h"
#include "ui/mainwindow/MediaViews.h"
#include "ui/mainwindow/PlayerController.h"
#include "ui/mainwindow/ShellLayout.h"
#include "ui/mainwindow/ShellTray.h"
#include "ui/mainwindow/WindowPlacement.h"
#include "ui/player/Player.h"
#include "ui/player/VideoArea.h"
#include "ui/settings/Page3.h"
#include "ui/tools/ManualWindow.h"
#include "ui/tools/Page4.h"
#include "ui/tools/Page5.h"
#include "ui/tools/Page6.h"
#include "ui/tools/Page7.h"
#include "ui/tools/StartNotice.h"
#include "ui/tools/page1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kTopRowDelayMs = 100;
constexpr int kVolumeDelayMs = 5000;

// Only shapes and lines: every colour comes from the palette, so that the table, the filters
// and their texts follow a light, dark or high-contrast theme together.
QString shellStyleSheet()
{
    return QStringLiteral("QTreeView, QListView, QTreeWidget { border: 1px solid palette(mid); border-radius: 6px; }"
                          "QLineEdit { border: 1px solid palette(mid); border-radius: 5px; padding: 2px 6px; }"
                          "QLabel#filterHeading { font-weight: 600; }"
                          "QLabel#emptyFilterNote { color: palette(text); font-size: 11pt; }");
}

// Modeless, any number at once; each finished file is taken by the link-download importer.
void openLinkDownloader(QWidget* parent)
{
    auto* downloader = new Page7(parent);
    downloader->setAttribute(Qt::WA_DeleteOnClose);
    downloader->openAnother = [parent] { openLinkDownloader(parent); };
    downloader->show();
}

} // namespace

Page2::Page2(Engine& engine, Prompts* prompts, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_model(engine.mediaTable())
    , m_ownPrompts(prompts ? nullptr : std::make_unique<DialogPrompts>(this))
    , m_prompts(prompts ? *prompts : *m_ownPrompts)
{
    setObjectName(QStringLiteral("Page2"));
    setWindowTitle(Texts::displayName());
    setWindowIcon(LineIcons::applicationIcon());
    setStyleSheet(shellStyleSheet());
    exitHandler = [this] { exitProgram(); };

    m_topRowTimer.setSingleShot(true);
    m_topRowTimer.setInterval(kTopRowDelayMs);
    connect(&m_topRowTimer, &QTimer::timeout, this, &Page2::topRowTimer);
    m_volumeTimer.setSingleShot(true);
    m_volumeTimer.setInterval(kVolumeDelayMs);
    connect(&m_volumeTimer, &QTimer::timeout, this, [this] { m_playerController->applyStoredVolume(); });

    buildControls();
    buildCollaborators();
    connectModel();
    connect(this, &Page2::importRequested, m_libraryActions, &LibraryActions::importFiles);
    connect(this, &Page2::filesDropped, m_libraryActions, &LibraryActions::importDropped);
    connect(this, &Page2::toolRequested, this, [this](ShellCommand command) {
        if (command == ShellCommand::RecordAudio)
            openSoundRecorder();
        else if (command == ShellCommand::CutMediaFile)
            openCutter();
        else if (command == ShellCommand::ConvertFromMenu)
            openConverter();
    });
    connect(this, &Page2::toolRequested, this, [this](ShellCommand command) {
        if (command == ShellCommand::DownloadVideoByURL)
            openLinkDownloader(this);
    });
    connect(this, &Page2::rescanRequested, this, [this](const QString& timeFilter, const QString& titleFilter) {
        m_engine.requestScan(timeFilter, titleFilter);
    });
}

Page2::~Page2()
{
    m_engine.setDownloadList(nullptr);
}

void Page2::buildControls()
{
    m_table = new MediaTableView(this);
    m_icons = new MediaIconView(this);
    m_icons->hide();

    m_downloads = new DownloadListWidget(this);
    m_downloads->hide();
    connect(m_downloads, &DownloadListWidget::visibilityRequested, this, &Page2::setDownloadListShown);
    connect(m_downloads, &DownloadListWidget::captionRequested, this, &QWidget::setWindowTitle);
    connect(m_downloads, &DownloadListWidget::attentionRequested, this, [this] { QApplication::alert(this); });
    m_engine.setDownloadList(m_downloads);
    connect(m_downloads, &QTreeWidget::itemClicked, this, [this] { m_downloads->showCancelMenu(QCursor::pos()); });
    connect(m_downloads, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        m_downloads->showCancelMenu(m_downloads->viewport()->mapToGlobal(position));
    });
    connect(m_downloads, &DownloadListWidget::cancelRequested, this, &Page2::cancelDownload);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("captureStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setForegroundRole(QPalette::WindowText);
    m_emptyNote = new QLabel(tx(u"No media files match"), this);
    m_emptyNote->setObjectName(QStringLiteral("emptyFilterNote"));
    m_emptyNote->setAlignment(Qt::AlignCenter);
    m_emptyNote->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_emptyNote->hide();
    m_statusTimer.setInterval(StatusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &Page2::refreshStatus);

    m_filters = new FilterPanel(this);
    connect(m_filters, &FilterPanel::timeFilterChanged, this, [this] { requestRescan(); });
    connect(m_filters, &FilterPanel::timeFilterChanged, this, [this] { updateEmptyNote(); });
    connect(m_filters, &FilterPanel::titleFilterChanged, this, [this] { updateEmptyNote(); });
    connect(m_filters, &FilterPanel::titleFilterChanged, this, [this] { requestRescan(); });
    connect(m_filters, &FilterPanel::checkAllClicked, this,
            [this](bool checked) { m_libraryActions->setAllChecked(checked); });

    buildVideoArea();
}

void Page2::buildVideoArea()
{
    auto* area = new VideoArea(this);
    area->setObjectName(QStringLiteral("videoArea"));
    area->installEventFilter(this);
    m_videoArea = area;
    QStringList extra;
    // Tests and headless runs have no window system to draw into.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        extra << QStringLiteral("--vout=dummy") << QStringLiteral("--aout=dummy");
    m_player = new Player(area, extra, this);
}

void Page2::buildCollaborators()
{
    // The two views share one selection: its current row is the selection mark.
    m_table->setModel(&m_model);
    m_icons->setModel(&m_model);
    m_icons->setSelectionModel(m_table->selectionModel());
    m_selection = std::make_unique<MediaSelection>(m_model, *m_table->selectionModel());
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            m_table->scrollTo(current);
    });

    m_playerController = std::make_unique<PlayerController>(m_model, *m_selection, m_prompts, *m_player);
    m_libraryActions =
        new LibraryActions(m_model, *m_selection, {*m_table, *m_icons}, m_prompts, m_engine, *m_playerController, this);
    connect(m_libraryActions, &LibraryActions::commandTriggered, this, &Page2::dispatch);
    connect(m_libraryActions, &LibraryActions::rescanRequested, this, &Page2::requestRescan);
    connect(m_libraryActions, &LibraryActions::captionChanged, this, &QWidget::setWindowTitle);
    connect(m_libraryActions, &LibraryActions::captionRestored, this, &Page2::restoreCaption);
    connect(m_libraryActions, &LibraryActions::stripReloadRequested, this, [this] {
        if (m_strip)
            m_strip->reload();
    });

    m_dispatch = std::make_unique<CommandRouter>(m_model, *m_libraryActions, *m_playerController, m_prompts);
    const CommandRouter* router = m_dispatch.get();
    connect(router, &CommandRouter::toolRequested, this, &Page2::toolRequested);
    connect(router, &CommandRouter::importRequested, this, &Page2::importRequested);
    connect(router, &CommandRouter::browserRequested, this, &Page2::openBrowserForCapture);
    connect(router, &CommandRouter::viewToggleRequested, this, &Page2::toggleView);
    connect(router, &CommandRouter::settingsRequested, this, &Page2::openSettings);
    connect(router, &CommandRouter::fileInfoRequested, this, &Page2::openFileInfo);
    connect(router, &CommandRouter::manualRequested, this, [this] { ManualWindow::open(this); });
    connect(router, &CommandRouter::monitoringRequested, this, [this](bool on) {
        if (m_monitor)
            m_monitor->setMonitoring(on);
        setMonitoring(on);
    });
}

void Page2::buildPaintedControls()
{
    // Created in this order: menu rail, player bar, thumbnail strip, traffic monitor.
    m_menu = new MenuRail(Texts::isEnglish(), this);
    m_playerBar = new PlayerBar(this);
    m_strip = new ThumbnailStrip(AppPaths::file(QStringLiteral("videos.xml")), this);
    m_monitor = new TrafficMonitor(this);
    connect(m_menu, &MenuRail::commandTriggered, this, &Page2::dispatch);
    connect(m_playerBar, &PlayerBar::commandTriggered, this, &Page2::dispatch);
    connect(m_playerBar, &PlayerBar::seekRequested, this,
            [this](double percent) { m_playerController->seek(percent); });
    connect(m_strip, &ThumbnailStrip::photoClicked, this,
            [this](int index) { m_playerController->playListClick(index); });
    connect(m_monitor, &TrafficMonitor::commandTriggered, this, &Page2::dispatch);
    // What the player does shows on the bar.
    connect(m_player, &Player::positionChanged, m_playerBar, &PlayerBar::setPosition);
    connect(m_player, &Player::buttonChanged, m_playerBar, &PlayerBar::setButton);
    connect(m_player, &Player::endReached, m_playerBar, &PlayerBar::playEndAnimation);
    connect(m_player, &Player::volumeChanged, m_playerBar, &PlayerBar::setVolume);
    connect(m_player, &Player::muteChanged, m_playerBar, &PlayerBar::setMuted);
    for (QWidget* control :
         {static_cast<QWidget*>(m_menu), static_cast<QWidget*>(m_playerBar), static_cast<QWidget*>(m_strip)})
        control->show();
    // The monitor belongs to the Russian interface only.
    m_monitor->setVisible(!Texts::isEnglish());
    m_monitor->setMonitoring(true);
    setMonitoring(true);
}

void Page2::connectModel()
{
    m_icons->setModelColumn(MediaTableModel::TitleColumn);

    const int widths[] = {460, 120, 70, 55, 80};
    for (int column = 0; column < 5; ++column)
        m_table->setColumnWidth(column, widths[column]);
    for (int column = MediaTableModel::EmptyColumn; column < MediaTableModel::ColumnCount; ++column)
        m_table->setColumnHidden(column, true);
    // The titles take whatever room the resizable window gives the table.
    m_table->header()->setSectionResizeMode(MediaTableModel::TitleColumn, QHeaderView::Stretch);
    m_table->header()->setSortIndicator(1, Qt::AscendingOrder);
    connect(m_table->header(), &QHeaderView::sectionClicked, m_libraryActions, &LibraryActions::sortByHeader);

    connect(&m_model, &QAbstractItemModel::modelReset, this, &Page2::updateEmptyNote);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &Page2::updateEmptyNote);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &Page2::updateEmptyNote);
    connect(&m_model, &MediaTableModel::topRowPreviewRequested, &m_topRowTimer, qOverload<>(&QTimer::start));
    connect(&m_model, &MediaTableModel::scrollerReloadRequested, this, [this] {
        if (m_strip)
            m_strip->reload();
    });

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_table), static_cast<QAbstractItemView*>(m_icons)}) {
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
    }
    const auto dragOut = [this] {
        if (m_dragAndDrop)
            m_libraryActions->startDragOut();
    };
    m_table->dragHandler = dragOut;
    m_icons->dragHandler = dragOut;
}

void Page2::start()
{
    // Caption, labels and icon are set by the constructor (steps 1, 2 and 4).
    buildPaintedControls();
    connectEngine();
    m_tray = new ShellTray(this);
    connect(m_tray, &ShellTray::toggleRequested, this, &Page2::toggleVisible);
    connect(m_tray, &ShellTray::showRequested, this, &Page2::showRestored);
    connect(m_tray, &ShellTray::exitRequested, this, [this] { exitHandler(); });
    connect(m_tray, &ShellTray::monitoringToggleRequested, this,
            [this] { dispatch(m_monitoring ? ShellCommand::Disable : ShellCommand::Enable); });
    m_tray->setMonitoring(m_monitoring);
    m_tray->add();

    m_filters->setTimeFilter(defaultTimeFilter());
    requestRescan();

    readFlags();
    m_volumeTimer.start();
    applyPlacement();
    applyTableView(Settings::instance().read(QStringLiteral("tableview")));
    m_table->header()->setSortIndicator(1, Qt::AscendingOrder);
    layoutControls();
    refreshStatus();
    m_statusTimer.start();
}

void Page2::connectEngine()
{
    // Library workers and the capture thread report from their own threads: queued here.
    connect(
        &m_engine, &Engine::libraryCaptionChanged, this, [this](const QString& caption) { setWindowTitle(caption); },
        Qt::QueuedConnection);
    connect(&m_engine, &Engine::libraryCaptionRestored, this, &Page2::restoreCaption, Qt::QueuedConnection);
    connect(&m_engine, &Engine::libraryNotice, this, &Page2::showNotice, Qt::QueuedConnection);
    connect(
        &m_engine, &Engine::keysMissing, this,
        [this] { showImportantNotice(KeyLogLocation::missingKeysNotice(), QStringLiteral("KeysMissingNotice")); },
        Qt::QueuedConnection);
    // Music taken from a browser cache: the caption and taskbar button flash once.
    connect(
        &m_engine, &Engine::libraryFlash, this, [this] { QApplication::alert(this, 1000); }, Qt::QueuedConnection);
    connect(
        &m_engine, &Engine::candidateDetected, this, [this] { m_monitor->addActivity(1); }, Qt::QueuedConnection);
    connect(this, &Page2::monitoringChanged, this, [this](bool on) { m_engine.setMonitoring(on); });
}

QString Page2::defaultTimeFilter() const
{
    const QStringList names = QDir(AppPaths::folder(AppPaths::Folder::Videos)).entryList(QDir::Files);
    return TimeFilter::defaultFor(names, Clock::system().secondsSinceEpoch());
}

void Page2::dispatch(ShellCommand command)
{
    m_dispatch->dispatch(command);
}

std::optional<ShellCommand> Page2::lastCommand() const
{
    return m_dispatch->lastCommand();
}

int Page2::selectedRow() const
{
    return m_selection->selectedRow();
}

QList<int> Page2::checkedRows() const
{
    return m_selection->checkedRows();
}

QString Page2::pathOfRow(int row) const
{
    return m_selection->pathOfRow(row);
}

void Page2::selectRow(int row)
{
    m_selection->selectRow(row);
}

void Page2::cancelDownload(int listRow)
{
    // The core cancels the record, stops its parts and removes the row; the list hides
    // itself through the download list's calls when it becomes empty.
    const qsizetype record = m_downloads->recordIndexOfRow(listRow);
    if (record >= 0)
        m_engine.downloadRows().cancel(record);
}

void Page2::openSettings()
{
    Page3 settings(Settings::instance(), this);
    if (settings.exec() != QDialog::Accepted)
        return;
    readFlags();
    m_playerController->applyStoredVolume();
    m_engine.keyLogSettingChanged();
}

void Page2::openSoundRecorder()
{
    // Modeless, one window per recording; the recordings importer takes the file.
    auto* recorder = new Page6(RecordSources::discover(), this);
    recorder->setAttribute(Qt::WA_DeleteOnClose);
    recorder->show();
}

void Page2::openCutter()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_model.rowCount())
        return;
    Page5 cutter(m_model.rowAt(row), m_player ? &m_player->backend() : nullptr, this);
    cutter.exec();
}

void Page2::openConverter()
{
    // The checked rows in table order, then the selected row when it is not among them.
    QList<int> rows = checkedRows();
    const int selected = selectedRow();
    if (selected >= 0 && !rows.contains(selected))
        rows << selected;
    QList<Page4::Row> files;
    for (const int row : rows) {
        const MediaRow& media = m_model.rowAt(row);
        files.append({media.title, media.path, media.duration});
    }
    if (!m_converter)
        m_converter = new Page4(files, ProfileStore::defaultPath(), this);
    else
        m_converter->setRows(files);
    m_converter->show();
    m_converter->setWindowState(m_converter->windowState() & ~Qt::WindowMinimized);
    m_converter->raise();
    m_converter->activateWindow();
}

Page4* Page2::converter() const
{
    return m_converter;
}

void Page2::openFileInfo()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_model.rowCount())
        return;
    const MediaRow& media = m_model.rowAt(row);
    page1 info(media.title, media.format, media.path, this);
    info.exec();
}

void Page2::readFlags()
{
    const Settings& settings = Settings::instance();
    m_dragAndDrop = settings.dragAndDrop();
    m_restoreWindow = settings.restoreMainWindow();
    m_keepAspect = settings.keepAspect();
    m_amplifier = settings.amplifier();
    setAcceptDrops(m_dragAndDrop);
    m_table->setDragEnabled(m_dragAndDrop);
    m_icons->setDragEnabled(m_dragAndDrop);
}

void Page2::applyPlacement()
{
    const QSize minimum = ShellLayout::minimumSize(layoutNeeds());
    setMinimumSize(minimum);
    const Settings& settings = Settings::instance();
    std::optional<QRect> stored;
    if (m_restoreWindow)
        stored = WindowPlacement::parse(settings.read(QStringLiteral("window")));
    // The stored rectangle is the window's own area, without the frame the window manager adds:
    // set back as it was read, it puts the window where it was (a frame position given as the
    // area's would move it up by the title bar at every start).
    if (stored) {
        const QScreen* screen = QGuiApplication::screenAt(stored->center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QRect fitted = screen ? WindowPlacement::fitted(*stored, screen->availableGeometry()) : *stored;
        setGeometry(QRect(fitted.topLeft(), fitted.size().expandedTo(minimum)));
    } else
        resize(QSize(WindowPlacement::DefaultWidth, WindowPlacement::DefaultHeight).expandedTo(minimum));
    layoutControls();
}

QRect Page2::placementRect() const
{
    return geometry();
}

void Page2::applyTableView(const QString& mode)
{
    const bool icons = (mode == QLatin1String("icon"));
    m_icons->setVisible(icons);
    m_table->setVisible(!icons);
    if (icons)
        m_model.sort(MediaTableModel::CaptureTimeColumn, Qt::DescendingOrder);
}

bool Page2::iconView() const
{
    return m_icons->isVisibleTo(this);
}

void Page2::toggleView()
{
    const QString mode = iconView() ? QStringLiteral("report") : QStringLiteral("icon");
    Settings::instance().write(QStringLiteral("tableview"), mode);
    applyTableView(mode);
}

ShellLayout::Needs Page2::layoutNeeds() const
{
    ShellLayout::Needs needs;
    needs.columnWidth = std::max(needs.columnWidth, m_filters->neededWidth());
    needs.filtersHeight = std::max(needs.filtersHeight, m_filters->sizeHint().height());
    needs.statusHeight = std::max(needs.statusHeight, m_status->sizeHint().height());
    return needs;
}

void Page2::layoutControls()
{
    // Twice at most: the filters wrap their long label to the column's width, which may make
    // them taller.
    for (int pass = 0; pass < 2; ++pass) {
        const ShellLayout::Needs needs = layoutNeeds();
        const ShellLayout layout = ShellLayout::compute(size(), m_downloadsShown, !Texts::isEnglish(), needs);
        m_table->setGeometry(layout.table);
        m_icons->setGeometry(layout.table);
        m_emptyNote->setGeometry(layout.table.adjusted(1, 30, -1, -1));
        m_downloads->setGeometry(layout.downloads);
        m_downloads->setVisible(m_downloadsShown);
        m_videoArea->setGeometry(layout.video);
        m_filters->setGeometry(layout.filters);
        m_status->setGeometry(layout.status);
        if (m_menu) {
            m_menu->setGeometry(layout.menu);
            m_playerBar->setGeometry(layout.playBar);
            m_strip->setGeometry(layout.strip);
            m_monitor->setGeometry(layout.monitor);
        }
        if (m_filters->sizeHint().height() <= needs.filtersHeight)
            break;
    }
    m_emptyNote->raise();
    setMinimumSize(ShellLayout::minimumSize(layoutNeeds()));
}

void Page2::updateEmptyNote()
{
    m_emptyNote->setVisible(m_model.rowCount() == 0 && m_filters->filtering());
}

void Page2::refreshStatus()
{
    const QString text = CaptureStatusText::format(m_engine.captureStatus());
    if (text == m_status->toolTip())
        return;
    m_status->setToolTip(text);
    // Elided only when the window is narrower than the line; the tool-tip keeps it whole.
    m_status->setText(m_status->fontMetrics().elidedText(text, Qt::ElideRight, m_status->width()));
}

void Page2::resizeEvent(QResizeEvent*)
{
    layoutControls();
    m_status->setToolTip(QString());
    refreshStatus();
}

void Page2::setDownloadListShown(bool shown)
{
    if (shown == m_downloadsShown)
        return;
    m_downloadsShown = shown;
    layoutControls();
}

void Page2::restoreCaption()
{
    setWindowTitle(Texts::displayName());
}

void Page2::setMonitoring(bool on)
{
    m_monitoring = on;
    if (m_tray)
        m_tray->setMonitoring(on);
    emit monitoringChanged(on);
    refreshStatus();
}

void Page2::requestRescan()
{
    emit rescanRequested(m_filters->timeFilter(), m_filters->titleFilter());
}

void Page2::topRowTimer()
{
    if (m_model.rowCount() == 0)
        return;
    if (iconView())
        m_model.sort(MediaTableModel::CaptureTimeColumn, Qt::DescendingOrder);
    selectRow(0);
    m_playerController->previewRow(0);
    trace(QStringLiteral("Window: table rows ") + QString::number(m_model.rowCount()));
}

void Page2::toggleVisible()
{
    if (isVisible() && !isMinimized()) {
        showMinimized();
        hide();
    } else {
        showRestored();
    }
}

void Page2::showRestored()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    trace(QStringLiteral("Window: shown"));
}

void Page2::showNotice(const QString& text)
{
    if (m_tray)
        m_tray->showNotice(text);
}

void Page2::showImportantNotice(const QString& text, const QString& objectName)
{
    if (m_tray && m_tray->isShown() && m_tray->showNotice(text))
        return;
    auto* box = new QMessageBox(QMessageBox::Information, Texts::displayName(), text, QMessageBox::Ok, this);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void Page2::openBrowserForCapture()
{
    const KeyLogLocation::BrowserStart start =
        KeyLogLocation::startBrowser(QString(), QString(), {m_engine.keyLogFile(), m_engine.keyLogOwn()});
    trace(QStringLiteral("Browser for capture: ") + (start.started ? QStringLiteral("started") : start.message));
    showImportantNotice(start.message, QStringLiteral("BrowserNotice"));
}

void Page2::showStartNotices(const QStringList& notices)
{
    StartNotice::showNotices(this, notices); // commands stay on one line, paths whole
}

void Page2::prepareExit()
{
    // Only the tools this run started; other programs' ffmpeg processes are theirs.
    ToolRunner::killAllTools();
    if (m_restoreWindow)
        Settings::instance().write(QStringLiteral("window"), WindowPlacement::format(placementRect()));
    if (m_tray)
        m_tray->remove();
    UsageCounters::addRunCountsTo(Settings::instance(), UsageCounters::runCounts());
}

void Page2::exitProgram()
{
    prepareExit();
    // Worker threads may still be inside a transfer or a tool run; the process ends without
    // unwinding them, as nothing else is kept at exit.
    std::fflush(nullptr);
    std::_Exit(0);
}

void Page2::closeEvent(QCloseEvent* event)
{
    event->ignore();
    exitHandler();
}

void Page2::changeEvent(QEvent* event)
{
    // A new font changes what the filters and the status line need.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange)
        layoutControls();
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_playerController->windowActivated();
    QWidget::changeEvent(event);
}

void Page2::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape do nothing in the main window: it closes only through Exit or close.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape)
        return;
    QWidget::keyPressEvent(event);
}

void Page2::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_dragAndDrop && event->mimeData()->hasUrls() && event->source() == nullptr)
        event->acceptProposedAction();
}

void Page2::dropEvent(QDropEvent* event)
{
    if (!m_dragAndDrop)
        return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    if (!paths.isEmpty())
        emit filesDropped(paths);
}

bool Page2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_videoArea && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        dispatch(ShellCommand::ClickInPlayer);
        return true;
    }
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_table), static_cast<QAbstractItemView*>(m_icons)}) {
        if (watched == view && event->type() == QEvent::KeyPress)
            return m_libraryActions->handleTableKey(static_cast<QKeyEvent*>(event)->key());
        if (watched != view->viewport())
            continue;
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton)
                m_libraryActions->tableClicked(view, mouse->position().toPoint());
            break;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                QMetaObject::invokeMethod(
                    this, [this] { m_playerController->playRow(selectedRow()); }, Qt::QueuedConnection);
            }
            break;
        case QEvent::ContextMenu:
            m_libraryActions->showContextMenu(view, static_cast<QContextMenuEvent*>(event)->pos());
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
