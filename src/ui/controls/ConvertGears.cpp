#include "ui/controls/ConvertGears.h"

#include "ui/controls/ShellTheme.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <cmath>

namespace {

void drawGear(QPainter& painter, QPointF centre, qreal radius, int teeth, qreal angle, const QColor& colour)
{
    QPainterPath outline;
    const qreal step = 2 * M_PI / teeth;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = angle + i * step;
        const QPointF points[] = {
            centre + QPointF(std::cos(a - step * 0.30), std::sin(a - step * 0.30)) * radius * 0.80,
            centre + QPointF(std::cos(a - step * 0.18), std::sin(a - step * 0.18)) * radius,
            centre + QPointF(std::cos(a + step * 0.18), std::sin(a + step * 0.18)) * radius,
            centre + QPointF(std::cos(a + step * 0.30), std::sin(a + step * 0.30)) * radius * 0.80,
        };
        if (i == 0)
            outline.moveTo(points[0]);
        else
            outline.lineTo(points[0]);
        for (int p = 1; p < 4; ++p)
            outline.lineTo(points[p]);
    }
    outline.closeSubpath();
    outline.addEllipse(centre, radius * 0.28, radius * 0.28);
    outline.setFillRule(Qt::OddEvenFill);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(outline);
}

} // namespace

ConvertGears::ConvertGears(QWidget* parent)
    : QWidget(parent)
    , m_turn(new QTimer(this))
{
    setObjectName(QStringLiteral("convertGears"));
    setMinimumSize(160, 90);
    m_turn->setInterval(50);
    connect(m_turn, &QTimer::timeout, this, [this] {
        m_angle += 0.08;
        update();
    });
}

ConvertGears::~ConvertGears() = default;

void ConvertGears::start()
{
    m_running = true;
    m_percent.clear();
    m_turn->start();
    update();
}

void ConvertGears::stop()
{
    m_running = false;
    m_percent.clear();
    m_turn->stop();
    update();
}

void ConvertGears::setPercent(int percent)
{
    m_percent = QString::number(std::clamp(percent, 0, 100)) + QLatin1Char('%');
    update();
}

void ConvertGears::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), ShellTheme::bar());
    if (!m_running)
        return;
    const qreal unit = std::min(width() / 3.2, height() / 1.6);
    const QPointF big(width() / 2.0 - unit * 0.55, height() / 2.0);
    drawGear(painter, big, unit * 0.62, 12, m_angle, ShellTheme::accent());
    drawGear(painter, big + QPointF(unit * 1.05, -unit * 0.30), unit * 0.42, 8, -m_angle * 1.5 + 0.2,
             ShellTheme::accentStrong());
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(std::max(9.0, unit * 0.22));
    painter.setFont(font);
    painter.drawText(QRectF(big.x() - unit * 0.6, big.y() - unit * 0.6, unit * 1.2, unit * 1.2), Qt::AlignCenter,
                     m_percent);
}
