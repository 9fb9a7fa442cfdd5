#pragma once

#include "ui/controls/LineIcons.h"
#include "ui/controls/ShellCommand.h"

#include <QWidget>

// The menu strip: a rail of icon buttons down the window's left edge. Each button triggers
// its command (ConvertFromMenu, MovieDelete, ...). The English rail and the Russian
// one differ only in their tips.
class MenuRail final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MenuRail)

public:
    struct Item
    {
        ShellCommand command;
        LineIcons::Icon icon;
        const char16_t* englishTip;
        const char16_t* russianTip;
    };

    // english: the tips in English, otherwise in Russian.
    explicit MenuRail(bool english, QWidget* parent = nullptr);
    ~MenuRail() override;

    bool english() const { return m_english; }
    static const QList<Item>& items();

    // Presses the button of a command as a click would (for keyboard use and tests).
    void press(ShellCommand command);
    // Where the button of items().at(index) is drawn.
    QRect buttonRect(int index) const { return itemRect(index).toAlignedRect(); }

signals:
    void commandTriggered(ShellCommand command);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    int itemAt(const QPoint& position) const;
    QRectF itemRect(int index) const;
    int groupGap(int index) const;

    bool m_english;
    int m_hovered = -1;
    int m_pressed = -1;
};
