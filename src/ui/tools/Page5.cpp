// The media cutter window.
#include "ui/tools/Page5.h"

#include "base/Texts.h"
#include "tools/CutSpan.h"
#include "ui/controls/SpanSlider.h"
#include "ui/player/MediaBackend.h"
#include "ui/tools/SavedNotice.h"
#include "ui/tools/ToolStyle.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

// How often a playing fragment looks at the player's time, and how long past the fragment's
// length it may take to start before the window stops it by the clock.
constexpr int kFragmentWatchMs = 40;
constexpr qint64 kFragmentStartSlackMs = 3000;

} // namespace

Page5::Page5(const MediaRow& media, MediaBackend* player, QWidget* parent)
    : QDialog(parent)
    , m_media(media)
    , m_player(player)
    , m_job(std::make_unique<CutJob>())
{
    setObjectName(QStringLiteral("Page5"));
    setWindowTitle(tx(u"Media cutter"));
    message = [this](const QString& text) { QMessageBox::information(this, Texts::displayName(), text); };

    const qint64 playerLength = m_player && m_player->isReady() ? m_player->length() : 0;
    m_lengthMs = CutSpan::mediaLengthMs(playerLength, m_media.duration);
    m_startMs = 0;
    m_endMs = CutSpan::msAtPosition(CutSpan::Scale, m_lengthMs);
    m_startText = CutSpan::tenthsText(m_startMs);
    m_endText = CutSpan::tenthsText(m_endMs);
    m_lengthText = CutSpan::tenthsText(m_endMs - m_startMs);

    auto* layout = new QVBoxLayout(this);
    m_slider = new SpanSlider(this);
    layout->addWidget(m_slider);
    auto* ends = new QHBoxLayout;
    ends->addWidget(new QLabel(QStringLiteral("00:00:00.0"), this));
    ends->addStretch();
    // From the duration column this is its text and ".0".
    m_right = new QLabel(CutSpan::displayTimeMs(m_lengthMs), this);
    ends->addWidget(m_right);
    layout->addLayout(ends);
    m_description = new QLabel(this);
    layout->addWidget(m_description);
    m_keyframe = new QLabel(this);
    layout->addWidget(m_keyframe);
    auto* buttons = new QHBoxLayout;
    m_cut = new QPushButton(tx(u"Cut fragment"), this);
    m_play = new QPushButton(tx(u"Play fragment"), this);
    for (QPushButton* button : {m_cut, m_play}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    m_saved = new SavedNotice(this);
    layout->addWidget(m_saved);
    ToolStyle::followPalette(this);

    connect(m_slider, &SpanSlider::spanChanged, this, &Page5::sliderChanged);
    connect(m_cut, &QPushButton::clicked, this, &Page5::cutFragment);
    connect(m_play, &QPushButton::clicked, this, &Page5::playFragment);
    m_fragmentTimer.setInterval(kFragmentWatchMs);
    connect(&m_fragmentTimer, &QTimer::timeout, this, &Page5::fragmentTimerFired);

    // The job reports from its worker: these connections are queued onto this window.
    connect(m_job.get(), &CutJob::statusChanged, this, &QWidget::setWindowTitle);
    connect(m_job.get(), &CutJob::finished, this, [this](const CutJob::Result& result) {
        setWindowTitle(tx(u"Media cutter"));
        m_cut->setEnabled(true);
        if (result.code == CutJob::Result::Code::Cut)
            m_saved->showSaved(result.file);
        else
            message(result.error);
    });

    // The keyframes of the whole file, read once in the background, tell where a cut starts.
    // A long file takes ffprobe a while: closing the window or quitting ends it.
    m_probePool.setMaxThreadCount(1);
    auto* watcher = new QFutureWatcher<KeyframeProbe>(this);
    connect(watcher, &QFutureWatcher<KeyframeProbe>::finished, this, [this, watcher] {
        const KeyframeProbe probe = watcher->result();
        if (probe.status == KeyframeProbe::Status::Stopped)
            return;
        m_probe = probe;
        m_probed = true;
        showRealStart();
    });
    m_probeFuture = QtConcurrent::run(
        &m_probePool, [path = m_media.path, run = &m_probeRun] { return KeyframeProbe::probe(path, -1, run); });
    watcher->setFuture(m_probeFuture);
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &Page5::stopProbe);

    m_description->setText(tx(u"Cut fragment from ") + CutSpan::displayTime(m_startText) + QLatin1Char(' ') +
                           tx(u"to") + QLatin1Char(' ') + CutSpan::displayTime(m_endText));
}

Page5::~Page5()
{
    stopProbe();
    // Closing the page ends a running cut; the job leaves no partial fragment.
    m_job->stop();
    m_job->wait();
}

void Page5::done(int result)
{
    stopProbe();
    QDialog::done(result);
}

void Page5::stopProbe()
{
    m_probeRun.store(false);
    m_probeFuture.waitForFinished();
}

void Page5::sliderChanged(int start, int end)
{
    m_startMs = CutSpan::msAtPosition(start, m_lengthMs);
    m_endMs = CutSpan::msAtPosition(end, m_lengthMs);
    const QString startText = CutSpan::tenthsText(m_startMs);
    const bool startMoved = startText != m_startText;
    m_startText = startText;
    m_endText = CutSpan::tenthsText(m_endMs);
    m_lengthText = CutSpan::tenthsText(m_endMs - m_startMs);
    m_description->setText(tx(u"Cut fragment from ") + CutSpan::displayTime(m_startText) + QLatin1Char(' ') +
                           tx(u"to") + QLatin1Char(' ') + CutSpan::displayTime(m_endText));
    showRealStart();

    if (!m_player || !m_player->isReady() || m_player->length() <= 0)
        return;
    if (m_player->state() == PlayerState::Playing)
        m_player->pause();
    // A fragment that was playing stops with the move; its timer must not seek later on.
    m_fragmentTimer.stop();
    m_player->setTime(qMin(startMoved ? m_startMs : m_endMs, m_player->length()));
    m_play->setText(tx(u"Play fragment"));
}

void Page5::showRealStart()
{
    // A list cut short before the start does not know the keyframe there; the cut reads it anew.
    const bool beyondList =
        m_probe.truncated && (m_probe.keyframesUs.isEmpty() || m_probe.keyframesUs.constLast() < m_startMs * 1000);
    if (!m_probed || !m_probe.hasVideo || beyondList) {
        m_keyframe->clear();
        return;
    }
    m_keyframe->setText(tx(u"The cut starts at the keyframe at ") +
                        CutSpan::displayTimeMs(m_probe.cutStartMs(m_startMs)));
}

void Page5::playFragment()
{
    if (!m_player || !m_player->isReady())
        return;
    if (m_player->state() == PlayerState::Playing) {
        m_player->setMuted(true);
        m_player->pause();
        m_fragmentTimer.stop();
        m_play->setText(tx(u"Play fragment"));
        return;
    }
    const qint64 length = m_player->length();
    if (length <= 0 || m_startMs > length)
        return;
    m_player->setTime(m_startMs);
    m_player->setMuted(false);
    m_player->play();
    m_play->setText(tx(u"Stop"));
    m_fragmentSeen = false;
    m_fragmentClock.start();
    m_fragmentTimer.start();
}

void Page5::fragmentTimerFired()
{
    // The player's own time decides, once it has told one inside the fragment (until the seek
    // is done it may still tell the old place); a player that tells none, or stalls, ends by
    // the clock with room for the seek and the start.
    const qint64 time = m_player ? m_player->time() : -1;
    const qint64 end = m_endMs - kFragmentWatchMs / 2;
    if (time >= m_startMs - kFragmentWatchMs && time < end)
        m_fragmentSeen = true;
    const bool reached = m_fragmentSeen && time >= end;
    if (!reached && m_fragmentClock.elapsed() < m_endMs - m_startMs + kFragmentStartSlackMs)
        return;
    m_fragmentTimer.stop();
    if (m_player && m_player->isReady()) {
        m_player->pause();
        m_player->setTime(qMin(m_endMs, qMax<qint64>(0, m_player->length())));
    }
    m_play->setText(tx(u"Play fragment"));
}

void Page5::cutFragment()
{
    if (m_job->running())
        return;
    CutJob::Request request;
    request.source = m_media.path;
    request.title = m_media.title;
    request.format = m_media.format;
    request.fromMs = m_startMs;
    request.toMs = m_endMs;
    request.outputDir = outputDir;
    m_saved->hide();
    if (m_job->start(request))
        m_cut->setEnabled(false);
}
