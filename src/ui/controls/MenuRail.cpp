#include "ui/controls/MenuRail.h"

#include "ui/controls/ShellTheme.h"

#include <QHelpEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

using LineIcons::Icon;

namespace {

constexpr int kItemHeight = 36;
constexpr int kTopMargin = 10;
constexpr int kGap = 9; // between the groups: tools, library, program
constexpr int kLibraryStart = 5;
constexpr int kProgramStart = 11;

} // namespace

MenuRail::MenuRail(bool english, QWidget* parent)
    : QWidget(parent)
    , m_english(english)
{
    setObjectName(QStringLiteral("menuRail"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MenuRail::~MenuRail() = default;

const QList<MenuRail::Item>& MenuRail::items()
{
    static const QList<Item> list = {
        {ShellCommand::DownloadVideoByURL, Icon::Download, u"Download video by link", u"Скачать видео по ссылке"},
        {ShellCommand::OpenBrowser, Icon::Globe, u"Open a browser for capture", u"Открыть браузер для захвата"},
        {ShellCommand::RecordAudio, Icon::Microphone, u"Record sound", u"Записать звук"},
        {ShellCommand::CutMediaFile, Icon::Scissors, u"Cut a fragment", u"Обрезать файл"},
        {ShellCommand::ConvertFromMenu, Icon::Convert, u"Convert", u"Конвертировать"},
        {ShellCommand::MovieDelete, Icon::Trash, u"Delete", u"Удалить"},
        {ShellCommand::MovieRename, Icon::Pencil, u"Rename", u"Переименовать"},
        {ShellCommand::Import, Icon::Import, u"Import media files", u"Импортировать медиафайлы"},
        {ShellCommand::Export, Icon::Export, u"Export into a folder", u"Экспортировать в папку"},
        {ShellCommand::Burn, Icon::Disc, u"Burn to a disc", u"Записать на диск"},
        {ShellCommand::View, Icon::Grid, u"Table or icons", u"Таблица или значки"},
        {ShellCommand::Settings, Icon::Gear, u"Settings", u"Настройки"},
        {ShellCommand::FileInfo, Icon::Info, u"File info", u"Информация о файле"},
        {ShellCommand::Support, Icon::Help, u"Support", u"Поддержка"},
    };
    return list;
}

void MenuRail::press(ShellCommand command)
{
    emit commandTriggered(command);
}

int MenuRail::groupGap(int index) const
{
    // Tools (download .. convert), library (delete .. view), program (settings .. support).
    return (index >= kLibraryStart ? kGap : 0) + (index >= kProgramStart ? kGap : 0);
}

QRectF MenuRail::itemRect(int index) const
{
    const int available = height() - kTopMargin * 2 - 2 * kGap;
    const int itemHeight = std::clamp(available / int(items().size()), 24, kItemHeight);
    return QRectF(5, kTopMargin + index * itemHeight + groupGap(index), width() - 10, itemHeight - 2);
}

int MenuRail::itemAt(const QPoint& position) const
{
    for (int i = 0; i < items().size(); ++i) {
        if (itemRect(i).contains(position))
            return i;
    }
    return -1;
}

void MenuRail::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, width(), 0);
    background.setColorAt(0, ShellTheme::rail());
    background.setColorAt(1, ShellTheme::bar());
    painter.fillRect(rect(), background);

    for (int i = 0; i < items().size(); ++i) {
        const QRectF box = itemRect(i);
        const bool hot = (i == m_hovered);
        if (hot || i == m_pressed) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(i == m_pressed ? ShellTheme::accentStrong() : ShellTheme::railLight());
            painter.drawRoundedRect(box, 7, 7);
        }
        if (i == kLibraryStart || i == kProgramStart) {
            painter.setPen(QPen(ShellTheme::railLight(), 1));
            const double y = box.top() - kGap / 2.0 - 1;
            painter.drawLine(QPointF(12, y), QPointF(width() - 12, y));
        }
        const double side = std::min(box.height() - 12, 22.0);
        const QRectF iconBox(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
        LineIcons::paint(painter, iconBox, items().at(i).icon, hot ? ShellTheme::iconHot() : ShellTheme::iconIdle());
    }
}

bool MenuRail::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = itemAt(help->pos());
        if (index >= 0) {
            const Item& item = items().at(index);
            QToolTip::showText(help->globalPos(), QString::fromUtf16(m_english ? item.englishTip : item.russianTip),
                               this, itemRect(index).toRect());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

void MenuRail::mouseMoveEvent(QMouseEvent* event)
{
    const int index = itemAt(event->position().toPoint());
    if (index != m_hovered) {
        m_hovered = index;
        setCursor(index >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void MenuRail::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = itemAt(event->position().toPoint());
    update();
}

void MenuRail::mouseReleaseEvent(QMouseEvent* event)
{
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (event->button() == Qt::LeftButton && pressed >= 0 && pressed == itemAt(event->position().toPoint()))
        press(items().at(pressed).command);
}

void MenuRail::leaveEvent(QEvent*)
{
    m_hovered = -1;
    update();
}
