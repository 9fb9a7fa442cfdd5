#pragma once

#include "ui/Movie.h"
#include "ui/MovieIcons.h"

#include <QElapsedTimer>

class QTimer;

// The player's control bar: play/pause (or replay once the media has ended), stop, replay,
// position and length texts around a seek slider, external player, snapshot and volume.
// It shows only what the program tells it ("CallMeFromApplication...") and calls the host
// with the player command names.
class PlayControlMovie final : public Movie
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayControlMovie)

public:
    explicit PlayControlMovie(QWidget* parent = nullptr);
    ~PlayControlMovie() override;

    // What the bar shows now (for tests and accessibility).
    QString positionText() const { return m_position; }
    QString lengthText() const { return m_length; }
    int percent() const { return m_percent; }
    QString buttonState() const { return m_buttonState; }
    QString volumeText() const { return m_volume; }

    // The request a release of the slider at this fraction (0..1) sends.
    static QString sliderRequest(double percent);

protected:
    void handleCall(const QString& name, const QStringList& arguments) override;
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
    MovieIcons::Icon iconOf(int button) const;
    QString functionOf(int button) const;
    double sliderFraction(const QPoint& position) const;

    QRectF m_buttons[int(Button::Count)];
    QRectF m_positionBox;
    QRectF m_lengthBox;
    QRectF m_slider;
    QRectF m_volumeBox;

    QString m_position = QStringLiteral("0:00:00");
    QString m_length = QStringLiteral("0:00:00");
    int m_percent = 0;
    QString m_buttonState = QStringLiteral("one");
    QString m_volume;
    bool m_muted = false;

    int m_hovered = -1;
    int m_pressed = -1;
    bool m_dragging = false;
    double m_dragFraction = 0;

    QTimer* m_endAnimation;
    QElapsedTimer m_endClock;
};
