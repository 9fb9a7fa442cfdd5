// The link downloader window.
#include "ui/tools/Page7.h"

#include "base/Texts.h"
#include "tools/LinkCommand.h"
#include "ui/tools/ToolStyle.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// Template captions of the window (not translated).
const char kAbort[] = "Abort";
const char kAnotherLink[] = "Another link";
const char kProcessing[] = "Processing ";
const char kPlaylistGroup[] =
    "The link you provided contains YouTube PlayList. If needed you can specify additional settings.";
const char kItemsBox[] = "Download only some items of the playlist";
const char kIndexLabel[] = "Item numbers:";
const char kExplanation[] = "Separate the item numbers with commas; a dash gives a range (1-3,7).";
const char kAudioBox[] = "Download only the sound (more than 20 times faster)";

// What the status field keeps of the tool's text.
constexpr int MaxStatusBlocks = 200;

QLabel* pictureLabel(QStyle::StandardPixmap which, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(parent->style()->standardIcon(which).pixmap(48, 48));
    return label;
}

} // namespace

QString Page7::exampleAddress()
{
    return QStringLiteral("https://www.youtube.com/watch?v=jNQXAC9IVRw");
}

QString Page7::indexPlaceholder()
{
    return QStringLiteral("e.g. 1,2,5");
}

Page7::Page7(QWidget* parent)
    : QDialog(parent)
    , m_job(std::make_unique<LinkDownloadJob>())
{
    setObjectName(QStringLiteral("Page7"));
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    m_frame = new QGroupBox(this);
    auto* frameLayout = new QVBoxLayout(m_frame);
    m_address = new QLineEdit(m_frame);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setMinimumWidth(460);
    frameLayout->addWidget(m_address);
    layout->addWidget(m_frame);

    auto* statusRow = new QHBoxLayout;
    m_statusLabel = new QLabel(QStringLiteral("Status:"), this);
    m_status = new QPlainTextEdit(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setReadOnly(true);
    m_status->setMaximumBlockCount(MaxStatusBlocks);
    m_status->setMinimumHeight(8 * fontMetrics().lineSpacing());
    statusRow->addWidget(m_statusLabel, 0, Qt::AlignTop);
    statusRow->addWidget(m_status, 1);
    layout->addLayout(statusRow);

    m_picture = pictureLabel(QStyle::SP_MediaPlay, this);
    layout->addWidget(m_picture, 0, Qt::AlignHCenter);

    m_playlist = new QGroupBox(QString::fromLatin1(kPlaylistGroup), this);
    auto* playlistLayout = new QGridLayout(m_playlist);
    m_itemsBox = new QCheckBox(QString::fromLatin1(kItemsBox), m_playlist);
    m_indexLabel = new QLabel(QString::fromLatin1(kIndexLabel), m_playlist);
    m_indexes = new QLineEdit(m_playlist);
    m_indexes->setObjectName(QStringLiteral("indexes"));
    m_indexes->setMaxLength(LinkCommand::MaxItemsLength);
    m_indexes->installEventFilter(this);
    m_explanation = new QLabel(QString::fromLatin1(kExplanation), m_playlist);
    m_explanation->setWordWrap(true);
    m_playlistPicture = pictureLabel(QStyle::SP_FileDialogListView, m_playlist);
    m_audioBox = new QCheckBox(QString::fromLatin1(kAudioBox), m_playlist);
    playlistLayout->addWidget(m_itemsBox, 0, 0, 1, 3);
    playlistLayout->addWidget(m_indexLabel, 1, 0);
    playlistLayout->addWidget(m_indexes, 1, 1);
    playlistLayout->addWidget(m_playlistPicture, 1, 2, 2, 1);
    playlistLayout->addWidget(m_explanation, 2, 0, 1, 2);
    playlistLayout->addWidget(m_audioBox, 3, 0, 1, 3);
    layout->addWidget(m_playlist);

    auto* buttons = new QHBoxLayout;
    m_another = new QPushButton(QString::fromLatin1(kAnotherLink), this);
    m_another->setAutoDefault(false);
    m_button = new QPushButton(this);
    m_button->setDefault(true);
    buttons->addWidget(m_another);
    buttons->addStretch(1);
    buttons->addWidget(m_button);
    layout->addLayout(buttons);

    connect(m_address, &QLineEdit::textChanged, this, &Page7::playlistTest);
    connect(m_itemsBox, &QCheckBox::toggled, this, &Page7::itemsToggled);
    connect(m_button, &QPushButton::clicked, this, &Page7::buttonClicked);
    connect(m_another, &QPushButton::clicked, this, [this] {
        if (openAnother)
            openAnother();
    });
    setIdle();
    m_status->clear();
    ToolStyle::followPalette(this);
}

Page7::~Page7()
{
    m_job->abort();
    m_job->wait();
}

void Page7::setIdle()
{
    setWindowTitle(tx(u"Video Downloader"));
    m_frame->setTitle(Texts::linkPrompt(exampleAddress()));
    m_button->setText(tx(u"Download!"));
    m_button->setEnabled(true);
    showRunning(false);
    m_address->clear();
    playlistTest();
}

void Page7::showRunning(bool running)
{
    m_address->setVisible(!running);
    m_another->setVisible(running);
    m_statusLabel->setVisible(running);
    m_status->setVisible(running);
}

void Page7::playlistTest()
{
    const bool playlist = LinkCommand::isPlaylistAddress(m_address->text());
    m_picture->setVisible(!playlist);
    m_playlist->setVisible(playlist);
    // Hidden choices are never in force: a box checked for a playlist address does not change
    // the download of another address.
    m_itemsBox->setChecked(false);
    m_audioBox->setChecked(false);
    m_indexes->setText(indexPlaceholder());
    m_indexes->setEnabled(false);
}

void Page7::itemsToggled(bool checked)
{
    if (checked) {
        if (m_indexes->text() == indexPlaceholder())
            m_indexes->clear();
        m_indexes->setEnabled(true);
        m_indexes->setFocus();
    } else {
        if (m_indexes->text().isEmpty())
            m_indexes->setText(indexPlaceholder());
        m_indexes->setEnabled(false);
    }
}

bool Page7::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_indexes && event->type() == QEvent::FocusOut)
        m_indexes->setText(LinkCommand::cleanIndexes(m_indexes->text()));
    return QDialog::eventFilter(watched, event);
}

void Page7::buttonClicked()
{
    // Running until this window has seen the job's end: a job that just finished on its thread
    // still has its report on the way, and the button must not start another meanwhile.
    if (m_running) {
        m_button->setEnabled(false);
        m_job->abort();
        return;
    }
    startDownload();
}

void Page7::startDownload()
{
    LinkCommand::Request request;
    request.address = m_address->text().trimmed();
    request.audioOnly = m_playlist->isVisible() && m_audioBox->isChecked();
    if (m_playlist->isVisible() && m_itemsBox->isChecked()) {
        m_indexes->setText(LinkCommand::cleanIndexes(m_indexes->text()));
        request.playlistItems = m_indexes->text();
        if (request.playlistItems.isEmpty()) {
            m_statusLabel->show();
            m_status->show();
            m_status->setPlainText(QStringLiteral("Enter the playlist items to download, e.g. 1,2,5"));
            return;
        }
    }
    // A job runs once; every run gets a fresh one, connected to this window (queued, as the
    // job reports from its worker thread).
    m_job = std::make_unique<LinkDownloadJob>();
    connect(m_job.get(), &LinkDownloadJob::progressChanged, this,
            [this](const QString& caption, const QString& status) {
                if (!caption.isEmpty())
                    setWindowTitle(caption);
                m_status->setPlainText(status);
            });
    connect(m_job.get(), &LinkDownloadJob::finished, this, &Page7::jobFinished, Qt::QueuedConnection);

    m_frame->setTitle(QString::fromLatin1(kProcessing) + request.address);
    m_button->setText(QString::fromLatin1(kAbort));
    m_status->clear();
    showRunning(true);
    m_running = m_job->start(request);
}

void Page7::jobFinished(const LinkDownloadJob::Result& result)
{
    m_running = false;
    const QString address = m_address->text();
    setIdle();
    if (result.code == LinkDownloadJob::Result::Code::Downloaded ||
        result.code == LinkDownloadJob::Result::Code::Aborted) {
        close();
        return;
    }
    // The run failed: the window stays, with the address to try again and the reason.
    m_address->setText(address);
    m_statusLabel->show();
    m_status->show();
    m_status->setPlainText(result.error);
}

void Page7::closeEvent(QCloseEvent* event)
{
    // Closing ends the tool and everything it started; the unfinished files go with it.
    m_job->abort();
    event->accept();
}
