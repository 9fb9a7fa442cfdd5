// What this program is: version, licence, where its data lives.
#include "ui/tools/AboutWindow.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "ui/controls/LineIcons.h"
#include "ui/tools/SavedNotice.h"
#include "ui/tools/ToolStyle.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

QString AboutWindow::version()
{
    return QStringLiteral(TRAWLIX_VERSION);
}

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(tx(u"About Trawlix"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(LineIcons::applicationIcon().pixmap(64, 64));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* words = new QVBoxLayout;
    m_version = new QLabel(Texts::displayName() + QLatin1Char(' ') + version(), this);
    m_version->setObjectName(QStringLiteral("version"));
    QFont title = m_version->font();
    if (title.pointSizeF() > 0)
        title.setPointSizeF(title.pointSizeF() * 1.5);
    title.setBold(true);
    m_version->setFont(title);
    words->addWidget(m_version);
    auto* what = new QLabel(tx(u"Catches the media a browser plays, and keeps it in a library."), this);
    what->setWordWrap(true);
    words->addWidget(what);
    m_licence = new QLabel(tx(u"Free software under the GNU General Public License, version 3 or later. "
                              u"It comes with no warranty."),
                           this);
    m_licence->setObjectName(QStringLiteral("licence"));
    m_licence->setWordWrap(true);
    words->addWidget(m_licence);
    top->addLayout(words, 1);
    layout->addLayout(top);

    m_dataFolder = new SavedNotice(this);
    const QString folder = QDir::cleanPath(AppPaths::dataDir());
    m_dataFolder->showFolder(tx(u"Data folder: ") + QDir::toNativeSeparators(folder), folder);
    layout->addWidget(m_dataFolder);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    ToolStyle::followPalette(this);
    setMinimumWidth(460);
}

AboutWindow::~AboutWindow() = default;

AboutWindow* AboutWindow::open(QWidget* parent)
{
    AboutWindow* window = parent ? parent->findChild<AboutWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!window) {
        window = new AboutWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
