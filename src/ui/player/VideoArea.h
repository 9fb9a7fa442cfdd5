#pragma once

#include <QWidget>

// The 640 x 360 video area of the main window. The player draws the video into this
// widget's native window; while no video covers it, the widget shows the picture for video
// files or the one for audio files.
class VideoArea final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoArea)

public:
    static constexpr int DefaultWidth = 640;
    static constexpr int DefaultHeight = 360;

    explicit VideoArea(QWidget* parent = nullptr);
    ~VideoArea() override;

    // Shows the audio picture (true) or the video picture (false); the other one is hidden.
    void showAudioPicture(bool audio);
    bool showsAudioPicture() const { return m_audio; }

    QSize sizeHint() const override;

signals:
    // Emitted while the native window still exists, so a player can stop drawing into it.
    void closing();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintFilmSymbol(QPainter& painter, const QRectF& box) const;
    void paintNoteSymbol(QPainter& painter, const QRectF& box) const;

    bool m_audio = false;
};
