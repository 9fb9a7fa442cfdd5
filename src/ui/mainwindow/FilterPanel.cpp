#include "ui/mainwindow/FilterPanel.h"

#include "base/Texts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kTitleFilterDelayMs = 400;

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("filterHeading"));
    return label;
}

} // namespace

FilterPanel::FilterPanel(QWidget* parent)
    : QWidget(parent)
    , m_title(new QLineEdit(this))
    , m_timeButtons(new QButtonGroup(this))
    , m_checkAll(new QCheckBox(tx(u"Check / Uncheck ALL Filtered Media Files"), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);

    layout->addWidget(heading(tx(u"Filter by Title"), this));
    m_title->setObjectName(QStringLiteral("titleFilter"));
    m_title->setClearButtonEnabled(true);
    layout->addWidget(m_title);

    layout->addSpacing(4);
    layout->addWidget(heading(tx(u"Filter by Capture Time"), this));
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    const QString labels[] = {tx(u"For ALL Time"), tx(u"30 days"), tx(u"7 days"), tx(u"3 days"), tx(u"1 hour")};
    for (int i = 0; i < 5; ++i) {
        auto* button = new QRadioButton(labels[i], this);
        button->setObjectName(QStringLiteral("timeFilter_") + timeFilterValues().at(i));
        m_timeButtons->addButton(button, i);
        // "For ALL Time" takes the first row alone; the four spans share two rows.
        if (i == 0)
            grid->addWidget(button, 0, 0, 1, 2);
        else
            grid->addWidget(button, 1 + (i - 1) / 2, (i - 1) % 2);
    }
    m_timeButtons->button(0)->setChecked(true);
    layout->addLayout(grid);

    layout->addSpacing(4);
    m_checkAll->setObjectName(QStringLiteral("checkAll"));
    m_checkAll->setToolTip(m_checkAll->text());
    layout->addWidget(m_checkAll);
    layout->addStretch(1);

    connect(m_timeButtons, &QButtonGroup::idClicked, this, [this](int id) {
        const QString value = timeFilterValues().at(id);
        if (value == m_timeFilter)
            return;
        m_timeFilter = value;
        emit timeFilterChanged(value);
    });
    // The filter applies once typing pauses, so a scan does not start for every key.
    auto* titleDelay = new QTimer(this);
    titleDelay->setSingleShot(true);
    titleDelay->setInterval(kTitleFilterDelayMs);
    connect(m_title, &QLineEdit::textChanged, titleDelay, qOverload<>(&QTimer::start));
    connect(titleDelay, &QTimer::timeout, this, [this] { emit titleFilterChanged(titleFilter()); });
    connect(m_checkAll, &QCheckBox::clicked, this, &FilterPanel::checkAllClicked);
}

FilterPanel::~FilterPanel() = default;

void FilterPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A check box does not wrap its text; break the long label where it meets the edge.
    const QString full = tx(u"Check / Uncheck ALL Filtered Media Files");
    const int room = width() - 26;
    const QFontMetrics metrics(m_checkAll->font());
    QString wrapped;
    QString line;
    for (const QString& word : full.split(QLatin1Char(' '))) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > room) {
            wrapped += line + QLatin1Char('\n');
            line = word;
        } else {
            line = candidate;
        }
    }
    m_checkAll->setText(wrapped + line);
}

const QStringList& FilterPanel::timeFilterValues()
{
    static const QStringList values = {QStringLiteral("all"), QStringLiteral("30"), QStringLiteral("7"),
                                       QStringLiteral("3"), QStringLiteral("24")};
    return values;
}

void FilterPanel::setTimeFilter(const QString& value)
{
    const int index = std::max<int>(0, int(timeFilterValues().indexOf(value)));
    m_timeFilter = timeFilterValues().at(index);
    m_timeButtons->button(index)->setChecked(true);
}

QString FilterPanel::titleFilter() const
{
    return m_title->text();
}

QRadioButton* FilterPanel::timeButton(int index) const
{
    return qobject_cast<QRadioButton*>(m_timeButtons->button(index));
}

int FilterPanel::neededWidth() const
{
    constexpr int kSpacing = 6;
    constexpr int kTitleEdit = 120;
    int width = kTitleEdit;
    for (const QLabel* label : findChildren<QLabel*>())
        width = std::max(width, label->sizeHint().width());
    width = std::max(width, timeButton(0)->sizeHint().width());
    for (int i = 1; i + 1 < 5; i += 2)
        width = std::max(width, timeButton(i)->sizeHint().width() + kSpacing + timeButton(i + 1)->sizeHint().width());
    // The check-all box wraps between words: its longest word must fit beside the box.
    const QFontMetrics metrics(m_checkAll->font());
    int word = 0;
    for (const QString& part : tx(u"Check / Uncheck ALL Filtered Media Files").split(QLatin1Char(' ')))
        word = std::max(word, metrics.horizontalAdvance(part));
    return std::max(width, word + 26);
}

bool FilterPanel::filtering() const
{
    return !titleFilter().trimmed().isEmpty() || m_timeFilter != QLatin1String("all");
}
