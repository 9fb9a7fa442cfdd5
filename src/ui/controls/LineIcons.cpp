#include "ui/controls/LineIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace LineIcons {
namespace {

// Every icon is drawn on a 24 x 24 grid and scaled into its box.
void drawGlyph(QPainter& p, Icon icon)
{
    switch (icon) {
    case Icon::Download:
        p.drawLine(QPointF(12, 3), QPointF(12, 15));
        p.drawPolyline(QPolygonF({QPointF(7, 10), QPointF(12, 15), QPointF(17, 10)}));
        p.drawPolyline(QPolygonF({QPointF(4, 16), QPointF(4, 20), QPointF(20, 20), QPointF(20, 16)}));
        break;
    case Icon::Microphone:
        p.drawRoundedRect(QRectF(9, 3, 6, 11), 3, 3);
        p.drawArc(QRectF(6, 7, 12, 10), 180 * 16, 180 * 16);
        p.drawLine(QPointF(12, 17), QPointF(12, 21));
        p.drawLine(QPointF(9, 21), QPointF(15, 21));
        break;
    case Icon::Scissors:
        p.drawEllipse(QPointF(7, 17), 3, 3);
        p.drawEllipse(QPointF(17, 17), 3, 3);
        p.drawLine(QPointF(9, 15), QPointF(18, 4));
        p.drawLine(QPointF(15, 15), QPointF(6, 4));
        break;
    case Icon::Convert:
        p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 150 * 16);
        p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 150 * 16);
        p.drawPolyline(QPolygonF({QPointF(16, 3), QPointF(19, 6.5), QPointF(15.5, 8.5)}));
        p.drawPolyline(QPolygonF({QPointF(8, 21), QPointF(5, 17.5), QPointF(8.5, 15.5)}));
        break;
    case Icon::Trash:
        p.drawLine(QPointF(4, 6), QPointF(20, 6));
        p.drawPolyline(QPolygonF({QPointF(9, 6), QPointF(9, 3), QPointF(15, 3), QPointF(15, 6)}));
        p.drawPolyline(QPolygonF({QPointF(6, 6), QPointF(7, 21), QPointF(17, 21), QPointF(18, 6)}));
        p.drawLine(QPointF(10, 10), QPointF(10, 17));
        p.drawLine(QPointF(14, 10), QPointF(14, 17));
        break;
    case Icon::Pencil:
        p.drawPolygon(QPolygonF({QPointF(4, 20), QPointF(5, 15), QPointF(16, 4), QPointF(20, 8), QPointF(9, 19)}));
        p.drawLine(QPointF(14, 6), QPointF(18, 10));
        break;
    case Icon::Import:
        p.drawLine(QPointF(12, 3), QPointF(12, 14));
        p.drawPolyline(QPolygonF({QPointF(8, 10), QPointF(12, 14), QPointF(16, 10)}));
        p.drawRoundedRect(QRectF(4, 12, 16, 9), 2, 2);
        break;
    case Icon::Export:
        p.drawLine(QPointF(12, 14), QPointF(12, 3));
        p.drawPolyline(QPolygonF({QPointF(8, 7), QPointF(12, 3), QPointF(16, 7)}));
        p.drawPolyline(QPolygonF(
            {QPointF(8, 12), QPointF(4, 12), QPointF(4, 21), QPointF(20, 21), QPointF(20, 12), QPointF(16, 12)}));
        break;
    case Icon::Disc:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
        p.drawArc(QRectF(6, 6, 12, 12), 100 * 16, 70 * 16);
        break;
    case Icon::Grid:
        p.drawRoundedRect(QRectF(4, 4, 7, 7), 1.5, 1.5);
        p.drawRoundedRect(QRectF(13, 4, 7, 7), 1.5, 1.5);
        p.drawRoundedRect(QRectF(4, 13, 7, 7), 1.5, 1.5);
        p.drawRoundedRect(QRectF(13, 13, 7, 7), 1.5, 1.5);
        break;
    case Icon::Gear: {
        p.drawEllipse(QPointF(12, 12), 3, 3);
        QPainterPath path;
        for (int i = 0; i < 16; ++i) {
            const double angle = i * M_PI / 8.0;
            const double radius = (i % 2 == 0) ? 9.0 : 6.5;
            const QPointF point(12 + radius * std::cos(angle), 12 + radius * std::sin(angle));
            if (i == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case Icon::Globe:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawEllipse(QRectF(8, 3, 8, 18));
        p.drawLine(QPointF(3, 12), QPointF(21, 12));
        p.drawLine(QPointF(5, 7.5), QPointF(19, 7.5));
        p.drawLine(QPointF(5, 16.5), QPointF(19, 16.5));
        break;
    case Icon::Info:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawLine(QPointF(12, 11), QPointF(12, 17));
        p.drawPoint(QPointF(12, 7.5));
        break;
    case Icon::Help:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawArc(QRectF(9, 6.5, 6, 6), -60 * 16, 240 * 16);
        p.drawLine(QPointF(13.5, 12), QPointF(12, 14));
        p.drawPoint(QPointF(12, 17));
        break;
    case Icon::Play:
        p.save();
        p.setBrush(p.pen().color());
        p.drawPolygon(QPolygonF({QPointF(7, 4), QPointF(19, 12), QPointF(7, 20)}));
        p.restore();
        break;
    case Icon::Pause:
        p.save();
        p.setBrush(p.pen().color());
        p.drawRoundedRect(QRectF(6, 4, 4, 16), 1, 1);
        p.drawRoundedRect(QRectF(14, 4, 4, 16), 1, 1);
        p.restore();
        break;
    case Icon::Replay:
        p.drawArc(QRectF(4, 4, 16, 16), 100 * 16, 290 * 16);
        p.drawPolyline(QPolygonF({QPointF(7, 2.5), QPointF(10.5, 4.5), QPointF(8, 8)}));
        break;
    case Icon::Stop:
        p.save();
        p.setBrush(p.pen().color());
        p.drawRoundedRect(QRectF(6, 6, 12, 12), 1.5, 1.5);
        p.restore();
        break;
    case Icon::External:
        p.drawPolyline(QPolygonF({QPointF(11, 5), QPointF(5, 5), QPointF(5, 19), QPointF(19, 19), QPointF(19, 13)}));
        p.drawLine(QPointF(11, 13), QPointF(20, 4));
        p.drawPolyline(QPolygonF({QPointF(14, 4), QPointF(20, 4), QPointF(20, 10)}));
        break;
    case Icon::Camera:
        p.drawRoundedRect(QRectF(3, 7, 18, 13), 2.5, 2.5);
        p.drawPolyline(QPolygonF({QPointF(8, 7), QPointF(9.5, 4), QPointF(14.5, 4), QPointF(16, 7)}));
        p.drawEllipse(QPointF(12, 13.5), 3.5, 3.5);
        break;
    case Icon::Speaker:
    case Icon::SpeakerMuted:
        p.drawPolygon(
            QPolygonF({QPointF(3, 9), QPointF(7, 9), QPointF(12, 4), QPointF(12, 20), QPointF(7, 15), QPointF(3, 15)}));
        if (icon == Icon::Speaker) {
            p.drawArc(QRectF(10, 8, 6, 8), -60 * 16, 120 * 16);
            p.drawArc(QRectF(10, 5, 10, 14), -60 * 16, 120 * 16);
        } else {
            p.drawLine(QPointF(15, 9), QPointF(21, 15));
            p.drawLine(QPointF(21, 9), QPointF(15, 15));
        }
        break;
    case Icon::Minus:
        p.drawLine(QPointF(6, 12), QPointF(18, 12));
        break;
    case Icon::Plus:
        p.drawLine(QPointF(6, 12), QPointF(18, 12));
        p.drawLine(QPointF(12, 6), QPointF(12, 18));
        break;
    case Icon::Power:
        p.drawArc(QRectF(4, 5, 16, 16), 120 * 16, 300 * 16);
        p.drawLine(QPointF(12, 3), QPointF(12, 11));
        break;
    }
}

} // namespace

void paint(QPainter& painter, const QRectF& box, Icon icon, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = std::min(box.width(), box.height()) / 24.0;
    painter.translate(box.center().x() - 12 * scale, box.center().y() - 12 * scale);
    painter.scale(scale, scale);
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    drawGlyph(painter, icon);
    painter.restore();
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int side : {16, 22, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient tile(0, 0, side, side);
        tile.setColorAt(0, QColor(0x38, 0xbd, 0xf8));
        tile.setColorAt(1, QColor(0x1d, 0x4e, 0xd8));
        painter.setPen(Qt::NoPen);
        painter.setBrush(tile);
        painter.drawRoundedRect(QRectF(0.5, 0.5, side - 1, side - 1), side * 0.22, side * 0.22);
        painter.setBrush(Qt::white);
        const double s = side / 24.0;
        painter.drawPolygon(QPolygonF({QPointF(9 * s, 6.5 * s), QPointF(18 * s, 12 * s), QPointF(9 * s, 17.5 * s)}));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace LineIcons
