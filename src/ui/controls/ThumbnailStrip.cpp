#include "ui/controls/ThumbnailStrip.h"

#include "ui/controls/LineIcons.h"
#include "ui/controls/ShellTheme.h"

#include <QFileSystemWatcher>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

namespace {

constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 90;
constexpr int kSpacing = 8;

} // namespace

ThumbnailStrip::ThumbnailStrip(const QString& listPath, QWidget* parent)
    : QWidget(parent)
    , m_listPath(listPath)
    , m_watcher(new QFileSystemWatcher(this))
{
    setObjectName(QStringLiteral("thumbnailStrip"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Writers replace the file, which ends the watch; reload() watches it again.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { reload(); });
    reload();
}

ThumbnailStrip::~ThumbnailStrip() = default;

void ThumbnailStrip::reload()
{
    m_entries = ScrollerList(m_listPath).entries();
    m_pictures.clear();
    for (const ScrollerList::Entry& entry : std::as_const(m_entries)) {
        QPixmap picture(entry.imagePath);
        if (!picture.isNull() && picture.size() != QSize(kThumbWidth, kThumbHeight))
            picture =
                picture.scaled(kThumbWidth, kThumbHeight, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        m_pictures.append(picture);
    }
    if (!m_watcher->files().contains(m_listPath))
        m_watcher->addPath(m_listPath);
    scrollBy(0);
    update();
}

QRect ThumbnailStrip::thumbnailRect(int index) const
{
    const int left = (width() - kThumbWidth) / 2;
    return QRect(left, kSpacing + index * (kThumbHeight + kSpacing) - m_offset, kThumbWidth, kThumbHeight);
}

int ThumbnailStrip::contentHeight() const
{
    return kSpacing + int(m_entries.size()) * (kThumbHeight + kSpacing);
}

void ThumbnailStrip::scrollBy(int pixels)
{
    const int maximum = std::max(0, contentHeight() - height());
    m_offset = std::clamp(m_offset + pixels, 0, maximum);
    update();
}

int ThumbnailStrip::indexAt(const QPoint& position) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (thumbnailRect(i).contains(position))
            return i;
    }
    return -1;
}

void ThumbnailStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), ShellTheme::rail());

    if (m_entries.isEmpty()) {
        painter.setPen(ShellTheme::textDim());
        LineIcons::paint(painter, QRectF(width() / 2.0 - 16, height() / 2.0 - 40, 32, 32), LineIcons::Icon::Play,
                         ShellTheme::railLight());
        return;
    }
    QFont badgeFont = painter.font();
    badgeFont.setPixelSize(11);
    painter.setFont(badgeFont);
    for (int i = 0; i < m_entries.size(); ++i) {
        const QRect box = thumbnailRect(i);
        if (box.bottom() < 0 || box.top() > height())
            continue;
        QPainterPath clip;
        clip.addRoundedRect(box, 6, 6);
        painter.save();
        painter.setClipPath(clip);
        if (m_pictures.at(i).isNull()) {
            painter.fillRect(box, ShellTheme::railLight());
            LineIcons::paint(painter, QRectF(box.center().x() - 14, box.center().y() - 14, 28, 28),
                             LineIcons::Icon::Play, ShellTheme::textDim());
        } else {
            painter.drawPixmap(box, m_pictures.at(i));
        }
        painter.restore();

        const QString duration = m_entries.at(i).duration;
        if (!duration.isEmpty()) {
            const int textWidth = painter.fontMetrics().horizontalAdvance(duration) + 10;
            const QRectF badge(box.right() - textWidth - 4, box.bottom() - 20, textWidth, 16);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 170));
            painter.drawRoundedRect(badge, 4, 4);
            painter.setPen(Qt::white);
            painter.drawText(badge, Qt::AlignCenter, duration);
        }
        if (i == m_hovered) {
            painter.setPen(QPen(ShellTheme::accent(), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(box).adjusted(1, 1, -1, -1), 6, 6);
            LineIcons::paint(painter, QRectF(box.center().x() - 14, box.center().y() - 14, 28, 28),
                             LineIcons::Icon::Play, Qt::white);
        }
    }
    if (contentHeight() > height()) {
        // A thin position mark on the right edge instead of a full scroll bar.
        const double visible = double(height()) / contentHeight();
        const double top = double(m_offset) / contentHeight() * height();
        painter.setPen(Qt::NoPen);
        painter.setBrush(ShellTheme::railLight());
        painter.drawRoundedRect(QRectF(width() - 4, top + 2, 3, visible * height() - 4), 1.5, 1.5);
    }
}

void ThumbnailStrip::wheelEvent(QWheelEvent* event)
{
    scrollBy(-event->angleDelta().y() / 120 * (kThumbHeight + kSpacing) / 2);
    event->accept();
}

void ThumbnailStrip::resizeEvent(QResizeEvent*)
{
    scrollBy(0);
}

void ThumbnailStrip::mouseMoveEvent(QMouseEvent* event)
{
    const int index = indexAt(event->position().toPoint());
    if (index != m_hovered) {
        m_hovered = index;
        setCursor(index >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void ThumbnailStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int index = indexAt(event->position().toPoint());
    if (index >= 0)
        emit photoClicked(index);
}

void ThumbnailStrip::leaveEvent(QEvent*)
{
    m_hovered = -1;
    update();
}
