#pragma once

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;

// The library filters beside the video: the title filter, the five capture-time buttons
// ("all", "30", "7", "3", "24") and the box that checks or unchecks every shown row.
class FilterPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilterPanel)

public:
    explicit FilterPanel(QWidget* parent = nullptr);
    ~FilterPanel() override;

    // The five values in button order.
    static const QStringList& timeFilterValues();

    QString timeFilter() const { return m_timeFilter; }
    // Checks the matching button without announcing a change (start-up's default filter).
    void setTimeFilter(const QString& value);
    QString titleFilter() const;

    // The narrowest width at which no label, button or heading is cut at the current font.
    int neededWidth() const;
    // Whether either filter narrows the library now.
    bool filtering() const;

    QLineEdit* titleEdit() const { return m_title; }
    QCheckBox* checkAllBox() const { return m_checkAll; }
    QRadioButton* timeButton(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    // A button that changes the filter value was clicked; the new value is already stored.
    void timeFilterChanged(const QString& value);
    void titleFilterChanged(const QString& text);
    void checkAllClicked(bool checked);

private:
    QLineEdit* m_title;
    QButtonGroup* m_timeButtons;
    QCheckBox* m_checkAll;
    QString m_timeFilter = QStringLiteral("all");
};
