#pragma once

#include "ui/Movie.h"

class QTimer;

// The converter's progress animation: two turning gears and the percentage the program sends
// with "CallMeFromApplicationSetPercent" (one string argument, "42%"). load() starts it for a
// file ("GEARS_EN", or "GEARS" in another language); loading "EMPTY" stops and clears it.
class GearsMovie final : public Movie
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GearsMovie)

public:
    explicit GearsMovie(QWidget* parent = nullptr);
    ~GearsMovie() override;

    void load(const QString& movieName);
    QString movieName() const { return m_movie; }
    QString percentText() const { return m_percent; }

protected:
    void handleCall(const QString& name, const QStringList& arguments) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_movie = QStringLiteral("EMPTY");
    QString m_percent;
    qreal m_angle = 0;
    QTimer* m_turn;
};
