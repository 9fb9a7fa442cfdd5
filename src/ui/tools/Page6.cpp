// The sound recorder window.
#include "ui/tools/Page6.h"

#include "base/Texts.h"
#include "ui/tools/ToolStyle.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString clockText(qint64 positionUs)
{
    const qint64 seconds = qMax<qint64>(0, positionUs / 1000000);
    const auto two = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString shown = two(seconds / 60 % 60) + QLatin1Char(':') + two(seconds % 60);
    if (seconds >= 3600)
        shown.prepend(QString::number(seconds / 3600) + QLatin1Char(':'));
    return shown;
}

} // namespace

QString Page6::installText()
{
    return tx(u"Sonotrap, the device that records the sound this computer plays, is not installed. "
              u"The Debian package of Trawlix installs it; after \"cmake --install\", run "
              u"\"sonotrap-register --install\" and open this window again.");
}

Page6::Page6(const QList<AudioSource>& sources, QWidget* parent)
    : QDialog(parent)
    , m_entries(DeviceNames::arrange(sources))
    , m_job(std::make_unique<RecordJob>())
{
    setObjectName(QStringLiteral("Page6"));
    setWindowTitle(tx(u"Sound Recorder"));
    message = [this](const QString& text) { QMessageBox::information(this, Texts::displayName(), text); };

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tx(u"Record from:"), this));
    m_devices = new QTreeWidget(this);
    m_devices->setObjectName(QStringLiteral("devices"));
    m_devices->setColumnCount(1);
    m_devices->setHeaderHidden(true);
    m_devices->setRootIsDecorated(false);
    m_devices->setMinimumWidth(420);
    QList<AudioSource> ordered;
    for (const DeviceNames::Entry& entry : std::as_const(m_entries))
        ordered << entry.source;
    const QList<bool> checks = RecordSources::initialChecks(ordered);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const DeviceNames::Entry& entry = m_entries.at(i);
        auto* item = new QTreeWidgetItem(m_devices, {entry.label});
        item->setToolTip(0, entry.source.input + QLatin1Char(' ') + entry.source.name);
        item->setCheckState(0, checks.value(i) ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(m_devices, 1);
    m_showAll = new QCheckBox(tx(u"Show every device"), this);
    m_showAll->setObjectName(QStringLiteral("showAllDevices"));
    connect(m_showAll, &QCheckBox::toggled, this, &Page6::showAllToggled);
    layout->addWidget(m_showAll);
    m_installHint = new QLabel(installText(), this);
    m_installHint->setObjectName(QStringLiteral("installHint"));
    m_installHint->setWordWrap(true);
    m_installHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_installHint->setVisible(!DeviceNames::hasOwnDevice(sources));
    layout->addWidget(m_installHint);

    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(new QLabel(tx(u"Recording file format:"), this));
    m_format = new QComboBox(this);
    m_format->addItems({QStringLiteral("MP3"), QStringLiteral("WAV")});
    formatRow->addWidget(m_format);
    formatRow->addStretch(1);
    layout->addLayout(formatRow);

    auto* meterRow = new QHBoxLayout;
    m_elapsed = new QLabel(clockText(0), this);
    m_elapsed->setObjectName(QStringLiteral("elapsed"));
    QFont big = m_elapsed->font();
    if (big.pointSizeF() > 0)
        big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_elapsed->setFont(big);
    m_level = new QProgressBar(this);
    m_level->setObjectName(QStringLiteral("level"));
    m_level->setRange(FloorDb, 0);
    m_level->setValue(FloorDb);
    m_level->setTextVisible(false);
    m_level->setToolTip(tx(u"Sound level"));
    meterRow->addWidget(m_elapsed);
    meterRow->addWidget(m_level, 1);
    layout->addLayout(meterRow);

    m_button = new QPushButton(tx(u"Start Recording"), this);
    m_button->setAutoDefault(false);
    layout->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, &Page6::buttonClicked);
    showAllToggled(false);
    ToolStyle::followPalette(this);

    // The job reports from its worker: these connections are queued onto this window.
    connect(m_job.get(), &RecordJob::elapsedChanged, this, &QWidget::setWindowTitle);
    connect(m_job.get(), &RecordJob::levelChanged, this, &Page6::levelChanged);
    connect(m_job.get(), &RecordJob::finished, this, [this](const RecordJob::Result& result) {
        // Failures, and a recording the disk's free space ended early, are told.
        if (!result.error.isEmpty() && (result.code != RecordJob::Result::Code::Recorded ||
                                        result.ending == RecordJob::Result::Ending::LowDiskSpace))
            message(result.error);
        close();
    });
}

Page6::~Page6()
{
    m_job->stop();
    m_job->wait();
}

void Page6::showAllToggled(bool all)
{
    for (int i = 0; i < m_devices->topLevelItemCount() && i < m_entries.size(); ++i) {
        // A checked device stays in sight: what is recorded is never hidden.
        QTreeWidgetItem* item = m_devices->topLevelItem(i);
        item->setHidden(!all && m_entries.at(i).kind == DeviceNames::Kind::Other && item->checkState(0) != Qt::Checked);
    }
}

void Page6::levelChanged(qint64 positionUs, double peakDb)
{
    m_elapsed->setText(clockText(positionUs));
    m_level->setValue(std::isfinite(peakDb) ? qBound(FloorDb, static_cast<int>(std::lround(peakDb)), 0) : FloorDb);
}

QList<AudioSource> Page6::checkedSources() const
{
    QList<AudioSource> checked;
    for (int i = 0; i < m_devices->topLevelItemCount() && i < m_entries.size(); ++i) {
        const QTreeWidgetItem* item = m_devices->topLevelItem(i);
        if (!item->isHidden() && item->checkState(0) == Qt::Checked)
            checked << m_entries.at(i).source;
    }
    return checked;
}

void Page6::buttonClicked()
{
    if (m_job->state() == RecordJob::State::Recording) {
        m_button->setEnabled(false);
        m_job->stop();
        return;
    }
    if (m_job->state() != RecordJob::State::Idle)
        return;
    if (m_entries.isEmpty()) {
        message(tx(u"No devices for audio recording!"));
        return;
    }
    const QList<AudioSource> checked = checkedSources();
    if (checked.isEmpty()) {
        message(tx(u"Please select at least one device from the list!"));
        return;
    }
    const RecordJob::Format format = m_format->currentIndex() == 1 ? RecordJob::Format::Wav : RecordJob::Format::Mp3;
    setWindowTitle(RecordJob::caption(0));
    m_button->setText(tx(u"Stop"));
    m_devices->setEnabled(false);
    m_showAll->setEnabled(false);
    m_format->setEnabled(false);
    if (!m_job->start(checked, format))
        m_button->setText(tx(u"Start Recording"));
}

void Page6::closeEvent(QCloseEvent* event)
{
    // Closing while recording ends ffmpeg, which finishes the file for the importer.
    m_job->stop();
    event->accept();
}
