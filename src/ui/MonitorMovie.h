#pragma once

#include "ui/Movie.h"

#include <QList>

class QTimer;

// The traffic monitor (shown in the Russian interface only): an on/off switch for watching
// the traffic and a small activity graph. A click on the switch calls the host with "Disable"
// or "Enable"; the switch moves when the program answers with "SetFlashMonitoringEnabled" or
// "SetFlashMonitoringDisabled".
class MonitorMovie final : public Movie
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonitorMovie)

public:
    explicit MonitorMovie(QWidget* parent = nullptr);
    ~MonitorMovie() override;

    bool monitoringShown() const { return m_enabled; }

    // Adds to the graph: how many media requests were seen since the last sample.
    void addActivity(int detected);

protected:
    void handleCall(const QString& name, const QStringList& arguments) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRectF switchRect() const;

    bool m_enabled = false;
    int m_pending = 0;
    QList<int> m_samples;
    QTimer* m_sampler;
};
