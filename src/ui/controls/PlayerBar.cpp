#include "ui/controls/PlayerBar.h"

#include "ui/controls/ShellTheme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

using LineIcons::Icon;

namespace {

constexpr int kEndAnimationMs = 900;

} // namespace

PlayerBar::PlayerBar(QWidget* parent)
    : QWidget(parent)
    , m_endAnimation(new QTimer(this))
{
    setObjectName(QStringLiteral("playerBar"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_endAnimation->setInterval(30);
    connect(m_endAnimation, &QTimer::timeout, this, [this] {
        if (m_endClock.elapsed() > kEndAnimationMs)
            m_endAnimation->stop();
        update();
    });
}

PlayerBar::~PlayerBar() = default;

bool PlayerBar::endAnimationRunning() const
{
    return m_endAnimation->isActive();
}

QRect PlayerBar::buttonRect(ShellCommand command) const
{
    for (int i = 0; i < int(Button::Count); ++i) {
        if (commandOf(i) == command)
            return m_buttons[i].toAlignedRect();
    }
    return {};
}

void PlayerBar::setPosition(const QString& current, const QString& total, int percent)
{
    m_position = current;
    m_length = total;
    m_percent = std::clamp(percent, 0, 100);
    update();
}

void PlayerBar::setButton(PlayButton button)
{
    m_button = button;
    update();
}

void PlayerBar::playEndAnimation()
{
    m_endClock.start();
    m_endAnimation->start();
    update();
}

void PlayerBar::setVolume(int volume)
{
    m_volume = QString::number(volume) + QLatin1Char('%');
    m_muted = false;
    update();
}

void PlayerBar::setMuted(bool muted)
{
    m_volume = muted ? QStringLiteral("Выкл.") : QStringLiteral("Вкл.");
    m_muted = muted;
    update();
}

void PlayerBar::resizeEvent(QResizeEvent*)
{
    layoutParts();
}

void PlayerBar::layoutParts()
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

Icon PlayerBar::iconOf(int button) const
{
    switch (Button(button)) {
    case Button::Main:
        switch (m_button) {
        case PlayButton::Pause:
            return Icon::Pause;
        case PlayButton::Replay:
            return Icon::Replay;
        case PlayButton::Play:
            break;
        }
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

ShellCommand PlayerBar::commandOf(int button) const
{
    switch (Button(button)) {
    case Button::Main:
        switch (m_button) {
        case PlayButton::Pause:
            return ShellCommand::PlayerPause;
        case PlayButton::Replay:
            return ShellCommand::PlayerReplay;
        case PlayButton::Play:
            break;
        }
        return ShellCommand::PlayerPlay;
    case Button::Stop:
        return ShellCommand::PlayerStrop;
    case Button::Replay:
        return ShellCommand::PlayerReplay;
    case Button::External:
        return ShellCommand::ExternalPlayer;
    case Button::Snapshot:
        return ShellCommand::MakeScreenShot;
    case Button::Mute:
        return ShellCommand::VolumeMute;
    case Button::VolumeMinus:
        return ShellCommand::VolumeMinus;
    case Button::VolumePlus:
    case Button::Count:
        break;
    }
    return ShellCommand::VolumePlus;
}

int PlayerBar::buttonAt(const QPoint& position) const
{
    for (int i = 0; i < int(Button::Count); ++i) {
        if (m_buttons[i].contains(position))
            return i;
    }
    return -1;
}

double PlayerBar::sliderFraction(const QPoint& position) const
{
    return std::clamp((position.x() - m_slider.left()) / m_slider.width(), 0.0, 1.0);
}

void PlayerBar::paintEvent(QPaintEvent*)
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
        LineIcons::paint(painter, box.adjusted(inset, inset, -inset, -inset), iconOf(i),
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

void PlayerBar::mouseMoveEvent(QMouseEvent* event)
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

void PlayerBar::mousePressEvent(QMouseEvent* event)
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

void PlayerBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint position = event->position().toPoint();
    if (m_dragging) {
        m_dragging = false;
        m_dragFraction = sliderFraction(position);
        m_percent = int(m_dragFraction * 100);
        update();
        emit seekRequested(m_dragFraction * 100);
        return;
    }
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (pressed >= 0 && pressed == buttonAt(position))
        emit commandTriggered(commandOf(pressed));
}

void PlayerBar::leaveEvent(QEvent*)
{
    m_hovered = -1;
    update();
}
