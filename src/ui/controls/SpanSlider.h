#pragma once

#include <QWidget>

// The cutter's span slider: a track with two handles, the start and the end of the fragment,
// on a scale of 0 to 10,000 of the media length. Dragging a handle (or moveHandles()) emits
// spanChanged() while it moves.
class SpanSlider final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpanSlider)

public:
    static constexpr int Width = 820;
    static constexpr int Height = 150;

    explicit SpanSlider(QWidget* parent = nullptr);
    ~SpanSlider() override;

    int start() const { return m_start; }
    int end() const { return m_end; }
    // Puts the handles where a drag would (the start never after the end) and emits
    // spanChanged().
    void moveHandles(int start, int end);
    // Where a handle at this position is drawn, along the slider.
    int handleX(int position) const { return qRound(xOf(position)); }

signals:
    // Both positions within 0..10,000, the start never after the end.
    void spanChanged(int start, int end);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Handle
    {
        None,
        Start,
        End,
    };

    QRectF track() const;
    double xOf(int position) const;
    int positionAt(double x) const;

    int m_start = 0;
    int m_end = 10000;
    Handle m_dragging = Handle::None;
};
