#include "ui/controls/TrafficMonitor.h"

#include "ui/controls/ShellTheme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

constexpr int kSamples = 48;

} // namespace

TrafficMonitor::TrafficMonitor(QWidget* parent)
    : QWidget(parent)
    , m_sampler(new QTimer(this))
{
    setObjectName(QStringLiteral("trafficMonitor"));
    setCursor(Qt::PointingHandCursor);
    m_samples.fill(0, kSamples);
    m_sampler->setInterval(1000);
    connect(m_sampler, &QTimer::timeout, this, [this] {
        m_samples.removeFirst();
        m_samples.append(m_enabled ? m_pending : 0);
        m_pending = 0;
        update();
    });
    m_sampler->start();
}

TrafficMonitor::~TrafficMonitor() = default;

void TrafficMonitor::addActivity(int detected)
{
    m_pending += detected;
}

void TrafficMonitor::setMonitoring(bool on)
{
    m_enabled = on;
    update();
}

QRectF TrafficMonitor::switchRect() const
{
    return QRectF(width() - 50, (height() - 20) / 2.0, 40, 20);
}

void TrafficMonitor::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), ShellTheme::bar());

    // A label only where there is room for it beside a readable graph.
    const bool labelled = width() >= 260;
    if (labelled) {
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(m_enabled ? ShellTheme::iconIdle() : ShellTheme::textDim());
        painter.drawText(QRectF(8, 0, 88, height()), Qt::AlignVCenter | Qt::AlignLeft,
                         m_enabled ? QStringLiteral("Мониторинг") : QStringLiteral("Выключен"));
    }

    // Activity graph between the label and the switch.
    const double graphLeft = labelled ? 96 : 10;
    const QRectF graph(graphLeft, 7, width() - graphLeft - 62, height() - 14);
    const int peak = std::max(1, *std::max_element(m_samples.cbegin(), m_samples.cend()));
    const double barWidth = graph.width() / kSamples;
    painter.setPen(Qt::NoPen);
    painter.setBrush(ShellTheme::rail());
    painter.drawRoundedRect(graph.adjusted(-3, -3, 3, 3), 4, 4);
    for (int i = 0; i < kSamples; ++i) {
        const double h = std::max(1.5, graph.height() * m_samples.at(i) / peak);
        painter.setBrush(m_enabled ? ShellTheme::accent() : ShellTheme::railLight());
        painter.drawRoundedRect(QRectF(graph.left() + i * barWidth, graph.bottom() - h, barWidth - 1, h), 1, 1);
    }

    const QRectF knobTrack = switchRect();
    painter.setBrush(m_enabled ? ShellTheme::accentStrong() : ShellTheme::railLight());
    painter.drawRoundedRect(knobTrack, 10, 10);
    painter.setBrush(Qt::white);
    const double knobX = m_enabled ? knobTrack.right() - 10 : knobTrack.left() + 10;
    painter.drawEllipse(QPointF(knobX, knobTrack.center().y()), 7, 7);
}

void TrafficMonitor::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    emit commandTriggered(m_enabled ? ShellCommand::Disable : ShellCommand::Enable);
}
