#pragma once

#include "ui/controls/LineIcons.h"
#include "ui/controls/PlayButton.h"
#include "ui/controls/ShellCommand.h"

#include <QElapsedTimer>
#include <QWidget>

class QTimer;

// The player's control bar: play/pause (or replay once the media has ended), stop, replay,
// position and length texts around a seek slider, external player, snapshot and volume.
// It shows only what the player tells it through its slots, and reports presses as commands
// and a released slider as a seek.
class PlayerBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerBar)

public:
    explicit PlayerBar(QWidget* parent = nullptr);
    ~PlayerBar() override;

    // What the bar shows now (for tests and accessibility).
    QString positionText() const { return m_position; }
    QString lengthText() const { return m_length; }
    int percent() const { return m_percent; }
    PlayButton button() const { return m_button; }
    QString volumeText() const { return m_volume; }
    bool muted() const { return m_muted; }
    bool endAnimationRunning() const;
    // Where a button is drawn (for tests and accessibility); empty for a command the bar has
    // no button for.
    QRect buttonRect(ShellCommand command) const;
    QRect sliderRect() const { return m_slider.toAlignedRect(); }

public slots:
    // The texts either side of the slider and the slider's share (clamped to 0..100).
    void setPosition(const QString& current, const QString& total, int percent);
    void setButton(PlayButton button);
    // One soft glow along the track: the media has ended.
    void playEndAnimation();
    // "<volume>%" beside the volume buttons; the sound is on.
    void setVolume(int volume);
    // The sound went off or on: the bar's own words for it and the speaker icon.
    void setMuted(bool muted);

signals:
    void commandTriggered(ShellCommand command);
    // The slider was released at this percentage (0..100).
    void seekRequested(double percent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Button
    {
        Main,
        Stop,
        Replay,
        External,
        Snapshot,
        Mute,
        VolumeMinus,
        VolumePlus,
        Count,
    };

    void layoutParts();
    int buttonAt(const QPoint& position) const;
    LineIcons::Icon iconOf(int button) const;
    ShellCommand commandOf(int button) const;
    double sliderFraction(const QPoint& position) const;

    QRectF m_buttons[int(Button::Count)];
    QRectF m_positionBox;
    QRectF m_lengthBox;
    QRectF m_slider;
    QRectF m_volumeBox;

    QString m_position = QStringLiteral("0:00:00");
    QString m_length = QStringLiteral("0:00:00");
    int m_percent = 0;
    PlayButton m_button = PlayButton::Play;
    QString m_volume;
    bool m_muted = false;

    int m_hovered = -1;
    int m_pressed = -1;
    bool m_dragging = false;
    double m_dragFraction = 0;

    QTimer* m_endAnimation;
    QElapsedTimer m_endClock;
};
