#include "ui/controls/SpanSlider.h"

#include "tools/CutSpan.h"
#include "ui/controls/ShellTheme.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr double kMargin = 24;
constexpr double kHandleRadius = 11;

} // namespace

SpanSlider::SpanSlider(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("spanSlider"));
    setFixedSize(Width, Height);
    setCursor(Qt::PointingHandCursor);
}

SpanSlider::~SpanSlider() = default;

void SpanSlider::moveHandles(int start, int end)
{
    m_start = qBound(0, start, CutSpan::Scale);
    m_end = qBound(m_start, end, CutSpan::Scale);
    update();
    emit spanChanged(m_start, m_end);
}

QRectF SpanSlider::track() const
{
    return QRectF(kMargin, height() / 2.0 - 5, width() - 2 * kMargin, 10);
}

double SpanSlider::xOf(int position) const
{
    const QRectF line = track();
    return line.left() + line.width() * position / CutSpan::Scale;
}

int SpanSlider::positionAt(double x) const
{
    const QRectF line = track();
    return qBound(0, qRound((x - line.left()) * CutSpan::Scale / line.width()), CutSpan::Scale);
}

void SpanSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), ShellTheme::bar());
    const QRectF line = track();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ShellTheme::railLight());
    painter.drawRoundedRect(line, 5, 5);
    painter.setBrush(ShellTheme::accent());
    painter.drawRoundedRect(QRectF(xOf(m_start), line.top(), xOf(m_end) - xOf(m_start), line.height()), 5, 5);
    // Tick marks at every tenth of the length.
    painter.setPen(ShellTheme::textDim());
    for (int i = 0; i <= 10; ++i) {
        const double x = xOf(i * CutSpan::Scale / 10);
        painter.drawLine(QPointF(x, line.bottom() + 12), QPointF(x, line.bottom() + (i % 5 == 0 ? 24 : 18)));
    }
    for (const int position : {m_start, m_end}) {
        painter.setPen(QPen(ShellTheme::accentStrong(), 3));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(xOf(position), line.center().y()), kHandleRadius, kHandleRadius);
    }
}

void SpanSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const double x = event->position().x();
    // The nearer handle follows; between two handles on one spot the drag direction decides.
    const double toStart = std::abs(x - xOf(m_start));
    const double toEnd = std::abs(x - xOf(m_end));
    m_dragging = toStart < toEnd || (toStart == toEnd && x < xOf(m_start)) ? Handle::Start : Handle::End;
    mouseMoveEvent(event);
}

void SpanSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging == Handle::None)
        return;
    const int position = positionAt(event->position().x());
    if (m_dragging == Handle::Start && position != m_start)
        moveHandles(qMin(position, m_end), m_end);
    else if (m_dragging == Handle::End && position != m_end)
        moveHandles(m_start, qMax(position, m_start));
}

void SpanSlider::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = Handle::None;
}
