#include "ui/player/VideoArea.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

VideoArea::VideoArea(QWidget* parent)
    : QWidget(parent)
{
    // libvlc draws into a child of this widget's own X window.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setObjectName(QStringLiteral("videoArea"));
    setMinimumSize(320, 180);
}

VideoArea::~VideoArea()
{
    emit closing();
}

void VideoArea::showAudioPicture(bool audio)
{
    if (audio == m_audio)
        return;
    m_audio = audio;
    update();
}

QSize VideoArea::sizeHint() const
{
    return {DefaultWidth, DefaultHeight};
}

void VideoArea::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();
    QLinearGradient background(area.topLeft(), area.bottomRight());
    background.setColorAt(0.0, m_audio ? QColor(0x1d, 0x22, 0x3a) : QColor(0x15, 0x18, 0x1f));
    background.setColorAt(1.0, m_audio ? QColor(0x2b, 0x1f, 0x3d) : QColor(0x22, 0x27, 0x31));
    painter.fillRect(area, background);

    const qreal side = std::min(area.width(), area.height()) * 0.28;
    const QRectF box(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
    if (m_audio)
        paintNoteSymbol(painter, box);
    else
        paintFilmSymbol(painter, box);
}

void VideoArea::paintFilmSymbol(QPainter& painter, const QRectF& box) const
{
    // A rounded screen with a play triangle.
    painter.setPen(QPen(QColor(255, 255, 255, 70), box.width() * 0.04));
    painter.setBrush(QColor(255, 255, 255, 18));
    const QRectF screen =
        box.adjusted(-box.width() * 0.25, box.height() * 0.1, box.width() * 0.25, -box.height() * 0.1);
    painter.drawRoundedRect(screen, box.width() * 0.12, box.width() * 0.12);
    QPainterPath triangle;
    const QPointF c = box.center();
    const qreal r = box.width() * 0.22;
    triangle.moveTo(c.x() - r * 0.7, c.y() - r);
    triangle.lineTo(c.x() + r, c.y());
    triangle.lineTo(c.x() - r * 0.7, c.y() + r);
    triangle.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 150));
    painter.drawPath(triangle);
}

void VideoArea::paintNoteSymbol(QPainter& painter, const QRectF& box) const
{
    // Two beamed eighth notes.
    const qreal w = box.width();
    const QColor colour(255, 255, 255, 150);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const qreal head = w * 0.22;
    const QPointF left(box.left() + w * 0.22, box.bottom() - w * 0.12);
    const QPointF right(box.left() + w * 0.78, box.bottom() - w * 0.22);
    painter.drawEllipse(left, head * 0.62, head * 0.45);
    painter.drawEllipse(right, head * 0.62, head * 0.45);
    const qreal stem = w * 0.06;
    painter.drawRect(QRectF(left.x() + head * 0.5, box.top() + w * 0.18, stem, left.y() - box.top() - w * 0.18));
    painter.drawRect(QRectF(right.x() + head * 0.5, box.top() + w * 0.08, stem, right.y() - box.top() - w * 0.08));
    QPainterPath beam;
    beam.moveTo(left.x() + head * 0.5, box.top() + w * 0.18);
    beam.lineTo(right.x() + head * 0.5 + stem, box.top() + w * 0.08);
    beam.lineTo(right.x() + head * 0.5 + stem, box.top() + w * 0.22);
    beam.lineTo(left.x() + head * 0.5, box.top() + w * 0.32);
    beam.closeSubpath();
    painter.drawPath(beam);
}
