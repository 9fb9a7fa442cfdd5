#pragma once

#include "ui/controls/ShellCommand.h"

#include <QList>
#include <QWidget>

class QTimer;

// The traffic monitor (shown in the Russian interface only): an on/off switch for watching
// the traffic and a small activity graph. A click on the switch triggers Disable or Enable;
// the switch moves only when the program answers with setMonitoring().
class TrafficMonitor final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficMonitor)

public:
    explicit TrafficMonitor(QWidget* parent = nullptr);
    ~TrafficMonitor() override;

    bool monitoringShown() const { return m_enabled; }

    // Adds to the graph: how many media requests were seen since the last sample.
    void addActivity(int detected);

public slots:
    void setMonitoring(bool on);

signals:
    void commandTriggered(ShellCommand command);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRectF switchRect() const;

    bool m_enabled = false;
    int m_pending = 0;
    QList<int> m_samples;
    QTimer* m_sampler;
};
