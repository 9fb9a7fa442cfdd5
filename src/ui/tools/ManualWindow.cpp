// The manual, read from the installed copy.
#include "ui/tools/ManualWindow.h"

#include "base/Texts.h"
#include "ui/tools/AboutWindow.h"
#include "ui/tools/ToolStyle.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

constexpr char kManual[] = "doc/trawlix/manual.html";
// The installed manual is a few kilobytes; anything far larger is not it.
constexpr qint64 MaxManualBytes = 512 * 1024;

} // namespace

QStringList ManualWindow::candidates()
{
    const QString name = QString::fromLatin1(kManual);
    QStringList paths;
    if (QCoreApplication::instance())
        paths << QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + name);
    paths << QStringLiteral("/usr/share/") + name << QStringLiteral("/usr/local/share/") + name;
    return paths;
}

QString ManualWindow::manualPath()
{
    for (const QString& path : candidates()) {
        const QFileInfo info(path);
        if (info.isFile() && info.size() <= MaxManualBytes)
            return path;
    }
    return {};
}

ManualWindow::ManualWindow(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ManualWindow"));
    setWindowTitle(tx(u"Trawlix manual"));
    auto* layout = new QVBoxLayout(this);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("manual"));
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    layout->addWidget(m_browser, 1);
    const QString path = manualPath();
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::ReadOnly))
        m_browser->setHtml(QString::fromUtf8(file.read(MaxManualBytes)));
    else
        m_browser->setPlainText(tx(u"The manual is not installed. Every command-line option is in \"man trawlix\"."));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_about = buttons->addButton(tx(u"About Trawlix"), QDialogButtonBox::HelpRole);
    m_about->setObjectName(QStringLiteral("about"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_about, &QPushButton::clicked, this, [this] { AboutWindow::open(this); });
    layout->addWidget(buttons);
    ToolStyle::followPalette(this);
    resize(640, 640);
}

ManualWindow::~ManualWindow() = default;

ManualWindow* ManualWindow::open(QWidget* parent)
{
    ManualWindow* window = parent ? parent->findChild<ManualWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!window) {
        window = new ManualWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
