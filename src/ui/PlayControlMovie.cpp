#include "ui/PlayControlMovie.h"

#include "ui/MovieRequest.h"
#include "ui/ShellTheme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

using MovieIcons::Icon;

namespace {

constexpr int kEndAnimationMs = 900;

} // namespace

PlayControlMovie::PlayControlMovie(QWidget* parent)
    : Movie(parent)
    , m_endAnimation(new QTimer(this))
{
    setObjectName(QStringLiteral("PLAYCONTROL"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_endAnimation->setInterval(30);
    connect(m_endAnimation, &QTimer::timeout, this, [this] {
        if (m_endClock.elapsed() > kEndAnimationMs)
            m_endAnimation->stop();
        update();
    });
}

PlayControlMovie::~PlayControlMovie() = default;

QString PlayControlMovie::sliderRequest(double percent)
{
    return MovieRequest::build(QStringLiteral("MoveMySliderBBBBB(") + QString::number(percent, 'f', 2) +
                               QStringLiteral(")EEEEE"));
}

void PlayControlMovie::handleCall(const QString& name, const QStringList& arguments)
{
    if (name == QLatin1String("CallMeFromApplication")) {
        if (arguments.size() < 3)
            return;
        m_position = arguments.at(0);
        m_length = arguments.at(1);
        m_percent = std::clamp(arguments.at(2).toInt(), 0, 100);
    } else if (name == QLatin1String("CallMeFromApplicationSetPlayButton")) {
        if (!arguments.isEmpty())
            m_buttonState = arguments.at(0);
    } else if (name == QLatin1String("CallMeFromApplicationPlayEndAnimation")) {
        m_endClock.start();
        m_endAnimation->start();
    } else if (name == QLatin1String("CallMeFromApplicationSetVolume")) {
        if (arguments.isEmpty())
            return;
        m_volume = arguments.at(0);
        // "Выкл." is the only text the program sends when the sound goes off.
        m_muted = (m_volume == QStringLiteral("Выкл."));
    } else {
        return;
    }
    update();
}

void PlayControlMovie::resizeEvent(QResizeEvent*)
{
    layoutParts();
}

void PlayControlMovie::layoutParts()
{
    const double h = height();
    const double side = std::min(h - 6, 28.0);
    const double top = (h - side) / 2;
    double x = 6;
    auto place = [&](Button button, double width) {
        m_buttons[int(button)] = QRectF(x, top, width, side);
        x += width + 2;
    };
    place(Button::Main, side + 6);
    place(Button::Stop, side);
    place(Button::Replay, side);
    x += 6;
    m_positionBox = QRectF(x, 0, 52, h);
    x += 52 + 14; // room for the knob at 0 %

    // Right side, from the edge inwards.
    double right = width() - 6;
    auto placeRight = [&](Button button) {
        right -= side;
        m_buttons[int(button)] = QRectF(right, top, side, side);
        right -= 2;
    };
    placeRight(Button::VolumePlus);
    right -= 44;
    m_volumeBox = QRectF(right + 2, 0, 42, h);
    placeRight(Button::VolumeMinus);
    placeRight(Button::Mute);
    right -= 8;
    placeRight(Button::Snapshot);
    placeRight(Button::External);
    right -= 6;
    m_lengthBox = QRectF(right - 52, 0, 52, h);
    right -= 52 + 14;
    m_slider = QRectF(x, h / 2 - 3, std::max(20.0, right - x), 6);
}

Icon PlayControlMovie::iconOf(int button) const
{
    switch (Button(button)) {
    case Button::Main:
        if (m_buttonState == QLatin1String("two"))
            return Icon::Pause;
        if (m_buttonState == QLatin1String("three"))
            return Icon::Replay;
        return Icon::Play;
    case Button::Stop:
        return Icon::Stop;
    case Button::Replay:
        return Icon::Replay;
    case Button::External:
        return Icon::External;
    case Button::Snapshot:
        return Icon::Camera;
    case Button::Mute:
        return m_muted ? Icon::SpeakerMuted : Icon::Speaker;
    case Button::VolumeMinus:
        return Icon::Minus;
    case Button::VolumePlus:
    case Button::Count:
        break;
    }
    return Icon::Plus;
}

QString PlayControlMovie::functionOf(int button) const
{
    switch (Button(button)) {
    case Button::Main:
        if (m_buttonState == QLatin1String("two"))
            return QStringLiteral("PlayerPause");
        if (m_buttonState == QLatin1String("three"))
            return QStringLiteral("PlayerReplay");
        return QStringLiteral("PlayerPlay");
    case Button::Stop:
        return QStringLiteral("PlayerStrop");
    case Button::Replay:
        return QStringLiteral("PlayerReplay");
    case Button::External:
        return QStringLiteral("ExternalPlayer");
    case Button::Snapshot:
        return QStringLiteral("MakeScreenShot");
    case Button::Mute:
        return QStringLiteral("VolumeMute");
    case Button::VolumeMinus:
        return QStringLiteral("VolumeMinus");
    case Button::VolumePlus:
    case Button::Count:
        break;
    }
    return QStringLiteral("VolumePlus");
}

int PlayControlMovie::buttonAt(const QPoint& position) const
{
    for (int i = 0; i < int(Button::Count); ++i) {
        if (m_buttons[i].contains(position))
            return i;
    }
    return -1;
}

double PlayControlMovie::sliderFraction(const QPoint& position) const
{
    return std::clamp((position.x() - m_slider.left()) / m_slider.width(), 0.0, 1.0);
}

void PlayControlMovie::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), ShellTheme::bar());

    for (int i = 0; i < int(Button::Count); ++i) {
        const QRectF box = m_buttons[i];
        const bool main = (i == int(Button::Main));
        if (main || i == m_hovered || i == m_pressed) {
            painter.setPen(Qt::NoPen);
            QColor fill = main ? ShellTheme::accentStrong() : ShellTheme::railLight();
            if (main && (i == m_hovered || i == m_pressed))
                fill = ShellTheme::accent();
            painter.setBrush(fill);
            painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
        }
        const double inset = box.height() * 0.22;
        MovieIcons::paint(painter, box.adjusted(inset, inset, -inset, -inset), iconOf(i),
                          (main || i == m_hovered) ? ShellTheme::iconHot() : ShellTheme::iconIdle());
    }

    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(ShellTheme::iconIdle());
    painter.drawText(m_positionBox, Qt::AlignVCenter | Qt::AlignRight, m_position);
    painter.setPen(ShellTheme::textDim());
    painter.drawText(m_lengthBox, Qt::AlignVCenter | Qt::AlignLeft, m_length);
    painter.drawText(m_volumeBox, Qt::AlignCenter, m_volume.isEmpty() ? QStringLiteral("—") : m_volume);

    // Slider: track, filled part, knob.
    const double fraction = m_dragging ? m_dragFraction : m_percent / 100.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(ShellTheme::railLight());
    painter.drawRoundedRect(m_slider, 3, 3);
    QRectF filled = m_slider;
    filled.setWidth(m_slider.width() * fraction);
    painter.setBrush(ShellTheme::accent());
    painter.drawRoundedRect(filled, 3, 3);
    if (m_endAnimation->isActive()) {
        // The end of the media: a soft glow runs once along the track.
        const double t = std::min(1.0, m_endClock.elapsed() / double(kEndAnimationMs));
        QColor glow = ShellTheme::iconHot();
        glow.setAlphaF(0.6 * (1 - t));
        painter.setBrush(glow);
        painter.drawRoundedRect(m_slider, 3, 3);
    }
    painter.setBrush(ShellTheme::iconHot());
    painter.drawEllipse(QPointF(filled.right(), m_slider.center().y()), 6, 6);
}

void PlayControlMovie::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_dragging) {
        m_dragFraction = sliderFraction(position);
        update();
        return;
    }
    const int index = buttonAt(position);
    const bool onSlider = m_slider.adjusted(0, -8, 0, 8).contains(position);
    if (index != m_hovered) {
        m_hovered = index;
        update();
    }
    setCursor((index >= 0 || onSlider) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void PlayControlMovie::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint position = event->position().toPoint();
    if (m_slider.adjusted(0, -8, 0, 8).contains(position)) {
        m_dragging = true;
        m_dragFraction = sliderFraction(position);
    } else {
        m_pressed = buttonAt(position);
    }
    update();
}

void PlayControlMovie::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint position = event->position().toPoint();
    if (m_dragging) {
        m_dragging = false;
        m_dragFraction = sliderFraction(position);
        m_percent = int(m_dragFraction * 100);
        update();
        emit hostCall(sliderRequest(m_dragFraction * 100));
        return;
    }
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (pressed >= 0 && pressed == buttonAt(position))
        callHost(functionOf(pressed));
}

void PlayControlMovie::leaveEvent(QEvent*)
{
    m_hovered = -1;
    update();
}
