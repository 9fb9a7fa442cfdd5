#pragma once

#include "ui/MovieIcons.h"
#include "ui/ShellCommand.h"

#include <QWidget>

// The menu strip: a rail of icon buttons down the window's left edge. Each button triggers
// its command (ConvertFromMenu, MovieDelete, ...). The English variant ("MENU_EN") and the
// Russian one ("MENU") differ only in their tips.
class MenuMovie final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MenuMovie)

public:
    struct Item
    {
        ShellCommand command;
        MovieIcons::Icon icon;
        const char16_t* englishTip;
        const char16_t* russianTip;
    };

    // resourceName: "MENU_EN" or "MENU".
    explicit MenuMovie(const QString& resourceName, QWidget* parent = nullptr);
    ~MenuMovie() override;

    const QString& resourceName() const { return m_resourceName; }
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

    QString m_resourceName;
    bool m_english;
    int m_hovered = -1;
    int m_pressed = -1;
};
