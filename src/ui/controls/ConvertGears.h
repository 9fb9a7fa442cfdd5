#pragma once

#include <QWidget>

class QTimer;

// The converter's progress animation: two turning gears and the percentage of the file being
// converted. start() sets them turning for a new file; stop() stops and clears them.
class ConvertGears final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConvertGears)

public:
    explicit ConvertGears(QWidget* parent = nullptr);
    ~ConvertGears() override;

    void start();
    void stop();
    bool isRunning() const { return m_running; }
    // "42%", or empty before the first percentage of a file.
    QString percentText() const { return m_percent; }

public slots:
    // Clamped to 0..100.
    void setPercent(int percent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_running = false;
    QString m_percent;
    qreal m_angle = 0;
    QTimer* m_turn;
};
