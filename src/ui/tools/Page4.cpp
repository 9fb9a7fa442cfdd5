// The media converter window.
#include "ui/tools/Page4.h"

#include "base/Settings.h"
#include "base/Texts.h"
#include "ui/controls/ConvertGears.h"
#include "ui/tools/SavedNotice.h"
#include "ui/tools/ToolStyle.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <chrono>
#include <future>

namespace {

constexpr int kOutputColumn = 0;
constexpr int kSourceColumn = 1;
constexpr int kDurationColumn = 2;

const char16_t* const kListLabels[ParamListCount] = {
    u"Video Codec:", u"Quality of Video:", u"Frame Rate:",  u"Resolution:",
    u"Audio Codec:", u"Quality of Audio:", u"Sample Rate:", u"Channels:",
};

// "HH:MM:SS" as the main list shows it: hours from the first two characters, minutes from
// characters 4-5, seconds from the last two.
int clockSeconds(const QString& text)
{
    if (text.size() < 5)
        return 0;
    return text.left(2).toInt() * 3600 + text.mid(3, 2).toInt() * 60 + text.right(2).toInt();
}

int secondsOf(const QTime& time)
{
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

} // namespace

Page4::Page4(const QList<Row>& rows, const QString& profilesPath, QWidget* parent)
    : QDialog(parent)
    , m_profilesPath(profilesPath)
    , m_job(std::make_unique<ConvertJob>())
    , m_closing(std::make_shared<std::atomic<bool>>(false))
{
    setObjectName(QStringLiteral("Page4"));
    setWindowTitle(tx(u"Media Converter"));
    setModal(false);
    confirm = [this](const QString& question) {
        return QMessageBox::question(this, Texts::displayName(), question, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    message = [this](const QString& text) { QMessageBox::warning(this, Texts::displayName(), text); };
    chooseFolder = [this] {
        return QFileDialog::getExistingDirectory(this, tx(u"Select a folder for converted files"));
    };
    m_effectsAvailable = ConvertJob::effectsAvailable();
    m_autoOpenFolder = Settings::instance().autoOpenFolder();

    buildControls();
    ToolStyle::followPalette(this);
    m_load = ProfileStore::load(m_profilesPath);
    // No "profiles.xml" yet is the usual case (the file is written at the first choice); only
    // a file that is there and cannot be used is worth a word.
    const bool missing = m_load.source == ProfileLoad::Source::Shipped && !QFileInfo::exists(m_profilesPath);
    m_notice->setText(m_load.notice);
    m_notice->setVisible(!m_load.notice.isEmpty() && !missing);
    m_folder = ProfileStore::outputFolder(m_load.set);
    m_folderEdit->setText(m_folder);
    setRows(rows);
    buildTree();

    // The question is asked on this thread while the worker waits; closing the window answers
    // it with No, so the worker never waits for a window that is gone.
    m_job->confirmOverwrite = [this, closing = m_closing](const QString& output) {
        auto answer = std::make_shared<std::promise<bool>>();
        std::future<bool> future = answer->get_future();
        QMetaObject::invokeMethod(
            this, [this, answer, output] { answer->set_value(askOverwrite(output)); }, Qt::QueuedConnection);
        while (future.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
            if (closing->load())
                return false;
        }
        return future.get();
    };
    connect(m_job.get(), &ConvertJob::fileStarted, this, [this](int, const QString& name) { fileStarted(name); });
    connect(m_job.get(), &ConvertJob::progressChanged, this, [this](int percent, const QString& caption) {
        setWindowTitle(caption);
        m_gears->setPercent(percent);
        m_progress->setValue(percent);
    });
    connect(m_job.get(), &ConvertJob::fileFinished, this,
            [this](int, const ConvertJob::FileResult& result) { fileFinished(result); });
    connect(m_job.get(), &ConvertJob::finished, this, &Page4::runFinished);
}

Page4::~Page4()
{
    m_closing->store(true);
    m_job->cancel();
    m_job->wait();
}

void Page4::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #92400e; background: #fef3c7; padding: 4px;"));
    m_notice->hide();
    layout->addWidget(m_notice);

    auto* top = new QHBoxLayout;
    auto* treeBox = new QGroupBox(tx(u"Select the output profile"), this);
    auto* treeLayout = new QVBoxLayout(treeBox);
    m_tree = new QTreeWidget(treeBox);
    m_tree->setHeaderHidden(true);
    m_tree->setMinimumWidth(260);
    treeLayout->addWidget(m_tree);
    top->addWidget(treeBox, 1);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { selectItem(item); });

    m_parameters = new QGroupBox(tx(u"Сonversion parameters"), this);
    auto* parameters = new QVBoxLayout(m_parameters);
    m_useDefaults = new QCheckBox(tx(u"Use default parameters"), m_parameters);
    m_useDefaults->setChecked(true);
    parameters->addWidget(m_useDefaults);
    connect(m_useDefaults, &QCheckBox::toggled, this, [this] { loadParameters(); });
    m_videoGroup = new QWidget(m_parameters);
    auto* videoGrid = new QGridLayout(m_videoGroup);
    videoGrid->setContentsMargins(0, 0, 0, 0);
    auto* audio = new QWidget(m_parameters);
    auto* audioGrid = new QGridLayout(audio);
    audioGrid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < ParamListCount; ++i) {
        QGridLayout* grid = i < 4 ? videoGrid : audioGrid;
        QWidget* owner = i < 4 ? m_videoGroup : audio;
        m_lists.at(i) = new QComboBox(owner);
        m_lists.at(i)->setEnabled(false);
        m_lists.at(i)->setMinimumWidth(120);
        grid->addWidget(new QLabel(tx(kListLabels[i]), owner), i % 4, 0);
        grid->addWidget(m_lists.at(i), i % 4, 1);
    }
    parameters->addWidget(m_videoGroup);
    parameters->addWidget(audio);
    parameters->addStretch();
    connect(m_lists.at(static_cast<int>(ParamList::VideoCodec)), &QComboBox::currentIndexChanged, this,
            [this] { videoCodecChanged(); });
    top->addWidget(m_parameters);
    layout->addLayout(top, 1);

    m_location = new QGroupBox(tx(u"Location of output files"), this);
    auto* location = new QHBoxLayout(m_location);
    m_folderEdit = new QLineEdit(m_location);
    m_folderEdit->setReadOnly(true);
    m_change = new QPushButton(tx(u"Change..."), m_location);
    m_openFolder = new QPushButton(tx(u"Open Folder"), m_location);
    location->addWidget(m_folderEdit, 1);
    location->addWidget(m_change);
    location->addWidget(m_openFolder);
    connect(m_change, &QPushButton::clicked, this, &Page4::changeFolder);
    connect(m_openFolder, &QPushButton::clicked, this, &Page4::openFolder);
    layout->addWidget(m_location);

    m_files = new QTreeWidget(this);
    m_files->setColumnCount(3);
    m_files->setHeaderLabels({QStringLiteral("Output file"), QStringLiteral("ID"), QStringLiteral("Duration")});
    m_files->setColumnWidth(kOutputColumn, 433);
    m_files->setColumnHidden(kSourceColumn, true);
    m_files->setColumnHidden(kDurationColumn, true);
    m_files->setRootIsDecorated(false);
    m_files->setMaximumHeight(120);
    layout->addWidget(m_files);

    m_cutRow = new QWidget(this);
    auto* cut = new QHBoxLayout(m_cutRow);
    cut->setContentsMargins(0, 0, 0, 0);
    m_cut = new QCheckBox(tx(u" Cut file from"), m_cutRow);
    m_from = new QTimeEdit(m_cutRow);
    m_to = new QTimeEdit(m_cutRow);
    for (QTimeEdit* edit : {m_from, m_to}) {
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        edit->setEnabled(false);
    }
    m_to->setTime(QTime(0, 0, 1));
    m_acceptedTo = m_to->time();
    m_acceptedFrom = m_from->time();
    cut->addWidget(m_cut);
    cut->addWidget(m_from);
    cut->addWidget(new QLabel(tx(u"to"), m_cutRow));
    cut->addWidget(m_to);
    cut->addStretch();
    connect(m_cut, &QCheckBox::toggled, this, [this](bool on) {
        m_from->setEnabled(on);
        m_to->setEnabled(on);
    });
    connect(m_from, &QTimeEdit::timeChanged, this, &Page4::fromChanged);
    connect(m_to, &QTimeEdit::timeChanged, this, &Page4::toChanged);
    layout->addWidget(m_cutRow);

    auto* bottom = new QHBoxLayout;
    m_effectRow = new QWidget(this);
    auto* effect = new QHBoxLayout(m_effectRow);
    effect->setContentsMargins(0, 0, 0, 0);
    m_effect = new QCheckBox(tx(u" Effect:"), m_effectRow);
    m_effects = new QComboBox(m_effectRow);
    for (const ConvertCommand::Effect& entry : ConvertCommand::effects())
        m_effects->addItem(tx(entry.text));
    m_effects->setCurrentIndex(0);
    m_effects->setEnabled(false);
    connect(m_effect, &QCheckBox::toggled, m_effects, &QWidget::setEnabled);
    effect->addWidget(m_effect);
    effect->addWidget(m_effects);
    // Without frei0r in this ffmpeg no effect could work; the list is not offered.
    m_effectRow->setVisible(m_effectsAvailable);
    bottom->addWidget(m_effectRow);
    m_gears = new ConvertGears(this);
    m_gears->setFixedSize(160, 80);
    m_gears->hide();
    bottom->addWidget(m_gears);
    bottom->addStretch();
    m_cancel = new QPushButton(tx(u"Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelConversion"));
    m_cancel->setAutoDefault(false);
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelled = true;
        m_job->cancel();
    });
    bottom->addWidget(m_cancel);
    m_convert = new QPushButton(tx(u"Convert"), this);
    m_convert->setMinimumWidth(140);
    m_convert->setDefault(true);
    connect(m_convert, &QPushButton::clicked, this, &Page4::convertClicked);
    bottom->addWidget(m_convert);
    layout->addLayout(bottom);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("conversionProgress"));
    m_progress->setRange(0, 100);
    m_progress->hide();
    layout->addWidget(m_progress);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("conversionStatus"));
    m_status->setWordWrap(true);
    m_status->hide();
    layout->addWidget(m_status);
    m_saved = new SavedNotice(this);
    layout->addWidget(m_saved);
    // The folder button hands the folder to a file manager, never to a browser in its place.
    m_openFolder->setEnabled(false);
    connect(m_saved, &SavedNotice::handlerKnownChanged, m_openFolder, &QWidget::setEnabled);
    m_saved->askHandler();
    resize(760, 620);
}

void Page4::setRows(const QList<Row>& rows)
{
    if (converting())
        return;
    m_rows = rows;
    m_files->clear();
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem(m_files);
        const QString output = ConvertJob::outputPath(m_folder, row.title, m_extension);
        // Without a chosen profile the name has no extension yet.
        item->setText(kOutputColumn, m_extension.isEmpty() ? output.chopped(1) : output);
        item->setText(kSourceColumn, row.path);
        item->setText(kDurationColumn, row.duration);
    }
    m_cutRow->setVisible(rows.size() == 1);
}

bool Page4::converting() const
{
    return m_job->running();
}

void Page4::buildTree()
{
    QList<int> selected;
    const QList<ProfileTreeNode> nodes = m_load.set.tree(&selected);
    QTreeWidgetItem* remembered = nullptr;
    for (int c = 0; c < nodes.size(); ++c) {
        auto* category = new QTreeWidgetItem(m_tree, {nodes.at(c).text});
        for (int g = 0; g < nodes.at(c).children.size(); ++g) {
            const ProfileTreeNode& groupNode = nodes.at(c).children.at(g);
            auto* group = new QTreeWidgetItem(category, {groupNode.text});
            for (int p = 0; p < groupNode.children.size(); ++p) {
                auto* leaf = new QTreeWidgetItem(group, {groupNode.children.at(p).text});
                if (selected == QList<int>{c, g, p})
                    remembered = leaf;
            }
        }
    }
    if (remembered) {
        m_tree->scrollToItem(remembered);
        m_tree->setCurrentItem(remembered);
    }
}

void Page4::selectItem(QTreeWidgetItem* item)
{
    if (!item || converting())
        return;
    const int index = m_load.set.indexOfDesc(item->text(0));
    if (index < 0)
        return;
    m_profile = index;
    ConversionProfile& chosen = m_load.set.profiles[index];
    if (!chosen.user) {
        for (ConversionProfile& profile : m_load.set.profiles)
            profile.user = false;
        chosen.user = true;
        if (m_load.writable())
            ProfileStore::remember(m_profilesPath, chosen.desc);
    }
    if (chosen.fileExt != m_extension) {
        for (int i = 0; i < m_files->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = m_files->topLevelItem(i);
            QString name = row->text(kOutputColumn);
            const QString old = m_extension.isEmpty() ? QString() : QLatin1Char('.') + m_extension;
            if (old.isEmpty() || !name.endsWith(old))
                name += QLatin1Char('.') + chosen.fileExt;
            else
                name = name.chopped(old.size()) + QLatin1Char('.') + chosen.fileExt;
            row->setText(kOutputColumn, name);
        }
        m_extension = chosen.fileExt;
    }
    loadParameters();
}

void Page4::loadParameters()
{
    if (m_profile < 0)
        return;
    const auto choices = m_load.set.choices(m_profile, m_useDefaults->isChecked());
    for (int i = 0; i < ParamListCount; ++i)
        fillList(static_cast<ParamList>(i), choices.at(i));
    m_audioOnly = m_load.set.profiles.at(m_profile).audioOnly();
    m_videoGroup->setVisible(!m_audioOnly);
    m_effectRow->setVisible(m_effectsAvailable && !m_audioOnly);
}

void Page4::fillList(ParamList which, const ParamChoice& choice)
{
    QComboBox* box = list(which);
    m_filling = true;
    box->clear();
    box->addItems(choice.entries);
    box->setCurrentIndex(choice.entries.isEmpty() ? -1 : choice.selected);
    box->setEnabled(!choice.entries.isEmpty() && !m_useDefaults->isChecked());
    m_filling = false;
}

void Page4::videoCodecChanged()
{
    if (m_filling || m_profile < 0)
        return;
    auto choices = m_load.set.choices(m_profile, m_useDefaults->isChecked());
    m_load.set.applyCodec(m_profile, list(ParamList::VideoCodec)->currentText(), m_useDefaults->isChecked(), choices);
    fillList(ParamList::Resolution, choices.at(static_cast<int>(ParamList::Resolution)));
    fillList(ParamList::VideoBitrate, choices.at(static_cast<int>(ParamList::VideoBitrate)));
}

ConvertJob::Settings Page4::settings() const
{
    ConvertJob::Settings settings;
    for (int i = 0; i < ParamListCount; ++i)
        settings.values.at(i) = m_lists.at(i)->count() > 0 ? m_lists.at(i)->currentText() : QString();
    settings.audioOnly = m_audioOnly;
    settings.effect = m_effectsAvailable && m_effect->isChecked() && !m_audioOnly ? m_effects->currentIndex() : -1;
    settings.cut = m_rows.size() == 1 && m_cut->isChecked();
    settings.cutFrom = secondsOf(m_from->time());
    settings.cutTo = secondsOf(m_to->time());
    return settings;
}

void Page4::changeFolder()
{
    const QString chosen = chooseFolder ? chooseFolder() : QString();
    if (chosen.isEmpty())
        return;
    QString folder = QDir::cleanPath(chosen);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (folder == m_folder)
        return;
    for (int i = 0; i < m_files->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_files->topLevelItem(i);
        if (row->text(kOutputColumn).startsWith(m_folder))
            row->setText(kOutputColumn, folder + row->text(kOutputColumn).mid(m_folder.size()));
    }
    m_folder = folder;
    m_folderEdit->setText(folder);
    m_load.set.outputFolder = folder;
    if (m_load.writable())
        ProfileStore::setOutputFolder(m_profilesPath, folder);
}

void Page4::openFolder()
{
    QDir().mkpath(m_folder);
    m_saved->openFolder(m_folder);
}

void Page4::showStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

void Page4::convertClicked()
{
    if (converting()) {
        // "Skip": only the current file ends; the run goes on with the next.
        m_job->skip();
        setWindowTitle(tx(u"Media Converter"));
        m_gears->stop();
        return;
    }
    if (m_files->topLevelItemCount() == 0) {
        showStatus(tx(u"No files to convert: check them in the main window's list first."));
        return;
    }
    if (m_profile < 0) {
        showStatus(tx(u"Choose an output format in the list on the left first."));
        return;
    }
    QList<ConvertJob::Item> items;
    for (int i = 0; i < m_files->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_files->topLevelItem(i);
        items.append({row->text(kSourceColumn), row->text(kOutputColumn), clockSeconds(row->text(kDurationColumn))});
    }
    m_closing->store(false);
    m_cancelled = false;
    m_saved->hide();
    showStatus(QString());
    m_progress->setValue(0);
    m_errors.clear();
    m_converted = 0;
    m_lastOutput.clear();
    if (m_job->start(items, settings())) {
        setBusy(true);
        showStatus(tx(u"Converting ") + QFileInfo(items.constFirst().output).fileName());
    }
}

void Page4::setBusy(bool busy)
{
    m_convert->setText(busy ? tx(u"Skip") : tx(u"Convert"));
    // "Skip" goes on with the next file: with one file there is none, and "Cancel" says it.
    m_convert->setVisible(!busy || m_files->topLevelItemCount() > 1);
    m_cancel->setVisible(busy);
    m_progress->setVisible(busy);
    for (QWidget* widget : {static_cast<QWidget*>(m_tree), static_cast<QWidget*>(m_parameters),
                            static_cast<QWidget*>(m_location), static_cast<QWidget*>(m_files), m_cutRow})
        widget->setVisible(!busy && (widget != m_cutRow || m_rows.size() == 1));
    m_tree->parentWidget()->setVisible(!busy);
    m_effectRow->setVisible(!busy && m_effectsAvailable && !m_audioOnly);
    m_gears->setVisible(busy);
    if (!busy) {
        setWindowTitle(tx(u"Media Converter"));
        m_gears->stop();
    }
}

void Page4::fileStarted(const QString& outputName)
{
    m_progress->setValue(0);
    showStatus(tx(u"Converting ") + QFileInfo(outputName).fileName());
    m_gears->start();
    m_gears->show();
}

void Page4::fileFinished(const ConvertJob::FileResult& result)
{
    switch (result.code) {
    case ConvertJob::FileResult::Code::Converted:
        ++m_converted;
        m_lastOutput = result.output;
        break;
    case ConvertJob::FileResult::Code::Failed:
    case ConvertJob::FileResult::Code::Refused:
        m_errors << QFileInfo(result.output).fileName() + QStringLiteral(": ") + result.error;
        break;
    case ConvertJob::FileResult::Code::Skipped:
    case ConvertJob::FileResult::Code::Cancelled:
        break;
    }
}

void Page4::runFinished()
{
    setBusy(false);
    if (m_closing->load())
        return;
    showStatus(m_cancelled ? tx(u"The conversion was cancelled.") : QString());
    if (m_converted == 1)
        m_saved->showSaved(m_lastOutput);
    else if (m_converted > 1)
        m_saved->showSavedFiles(m_converted, QFileInfo(m_lastOutput).absolutePath());
    if (!m_errors.isEmpty() && message)
        message(m_errors.join(QLatin1Char('\n')));
    if (m_converted > 0 && m_autoOpenFolder)
        m_saved->openFolder(QFileInfo(m_lastOutput).absolutePath());
}

bool Page4::askOverwrite(const QString& output)
{
    if (m_closing->load() || !confirm)
        return false;
    return confirm(tx(u"Current folder already contains a file named: ") + QFileInfo(output).fileName() +
                   QStringLiteral(". ") + tx(u"Overwrite this file?"));
}

int Page4::durationSeconds() const
{
    return m_rows.size() == 1 ? clockSeconds(m_rows.first().duration) : 0;
}

void Page4::fromChanged(const QTime& time)
{
    const QSignalBlocker blockFrom(m_from);
    const QSignalBlocker blockTo(m_to);
    if (secondsOf(time) > durationSeconds()) {
        m_from->setTime(m_acceptedFrom);
        return;
    }
    m_acceptedFrom = time;
    if (m_to->time() <= time) {
        m_to->setTime(time.addSecs(1));
        m_acceptedTo = m_to->time();
    }
}

void Page4::toChanged(const QTime& time)
{
    const QSignalBlocker blockFrom(m_from);
    const QSignalBlocker blockTo(m_to);
    if (secondsOf(time) > durationSeconds()) {
        m_to->setTime(m_acceptedTo);
        return;
    }
    m_acceptedTo = time;
    if (m_from->time() >= time) {
        if (time == QTime(0, 0, 0)) {
            m_from->setTime(QTime(0, 0, 0));
            m_to->setTime(QTime(0, 0, 1));
            m_acceptedTo = m_to->time();
        } else {
            m_from->setTime(time.addSecs(-1));
        }
        m_acceptedFrom = m_from->time();
    }
}

void Page4::closeEvent(QCloseEvent* event)
{
    // Closing ends the run: the current file stops and its partial output goes; the remaining
    // files are not converted.
    m_closing->store(true);
    m_job->cancel();
    QDialog::closeEvent(event);
}
