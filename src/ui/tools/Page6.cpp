// The sound recorder window.
#include "ui/tools/Page6.h"

#include "base/Texts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

Page6::Page6(const QList<AudioSource>& sources, QWidget* parent)
    : QDialog(parent)
    , m_sources(sources)
    , m_job(std::make_unique<RecordJob>())
{
    setObjectName(QStringLiteral("Page6"));
    setWindowTitle(tx(u"Sound Recorder"));
    message = [this](const QString& text) { QMessageBox::information(this, Texts::displayName(), text); };

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tx(u"Available Audio Sources"), this));
    m_devices = new QTreeWidget(this);
    m_devices->setColumnCount(1);
    m_devices->setHeaderLabels({tx(u"Sonotrap - Device for Capturing Music from ANY WEBSITE")});
    m_devices->setRootIsDecorated(false);
    m_devices->setMinimumWidth(370);
    const QList<bool> checks = RecordSources::initialChecks(m_sources);
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        auto* item = new QTreeWidgetItem(m_devices, {m_sources.at(i).label()});
        item->setCheckState(0, checks.value(i) ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(m_devices);
    layout->addWidget(new QLabel(tx(u"Recording file format:"), this));
    m_format = new QComboBox(this);
    m_format->addItems({QStringLiteral("MP3"), QStringLiteral("WAV")});
    layout->addWidget(m_format);
    m_button = new QPushButton(tx(u"Start Recording"), this);
    m_button->setAutoDefault(false);
    layout->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, &Page6::buttonClicked);

    // The job reports from its worker: these connections are queued onto this window.
    connect(m_job.get(), &RecordJob::elapsedChanged, this, &QWidget::setWindowTitle);
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

QList<AudioSource> Page6::checkedSources() const
{
    QList<AudioSource> checked;
    for (int i = 0; i < m_devices->topLevelItemCount() && i < m_sources.size(); ++i) {
        if (m_devices->topLevelItem(i)->checkState(0) == Qt::Checked)
            checked << m_sources.at(i);
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
    if (m_sources.isEmpty()) {
        message(tx(u"No devices for audio recording!"));
        return;
    }
    const QList<AudioSource> checked = checkedSources();
    if (checked.isEmpty()) {
        message(tx(u"Please select at least one device from the list!"));
        return;
    }
    const RecordJob::Format format = m_format->currentIndex() == 1 ? RecordJob::Format::Wav : RecordJob::Format::Mp3;
    setWindowTitle(QStringLiteral("00:00 - Recording..."));
    m_button->setText(tx(u"Stop"));
    m_devices->setEnabled(false);
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
