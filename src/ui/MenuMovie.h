#pragma once

#include "ui/Movie.h"
#include "ui/MovieIcons.h"

// The menu strip: a rail of icon buttons down the window's left edge. Each button calls the
// host with its function name ("ConvertFromMenu", "MovieDelete", ...). The English variant
// ("MENU_EN") and the Russian one ("MENU") differ only in their tips.
class MenuMovie final : public Movie
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MenuMovie)

public:
    struct Item
    {
        const char* function;
        MovieIcons::Icon icon;
        const char16_t* englishTip;
        const char16_t* russianTip;
    };

    // resourceName: "MENU_EN" or "MENU".
    explicit MenuMovie(const QString& resourceName, QWidget* parent = nullptr);
    ~MenuMovie() override;

    const QString& resourceName() const { return m_resourceName; }
    static const QList<Item>& items();

    // Presses the button of a function as a click would (for keyboard use and tests).
    void press(const QString& function);

protected:
    void handleCall(const QString& name, const QStringList& arguments) override;
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
