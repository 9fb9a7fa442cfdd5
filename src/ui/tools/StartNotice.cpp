// What the program says once at its start (permissions, detection off, HTTPS keys).
#include "ui/tools/StartNotice.h"

#include "base/Texts.h"
#include "ui/tools/ToolStyle.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>

bool StartNotice::isCommand(const QString& line)
{
    return line.startsWith(QLatin1String("sudo ")) || line.startsWith(QLatin1String("setcap "));
}

StartNotice::StartNotice(const QStringList& notices, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("StartNotice"));
    setWindowTitle(Texts::displayName());
    auto* layout = new QVBoxLayout(this);
    int widest = 0;
    for (const QString& notice : notices) {
        QStringList words;
        const auto flushWords = [&] {
            if (words.isEmpty())
                return;
            auto* label = new QLabel(words.join(QLatin1Char('\n')), this);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            layout->addWidget(label);
            words.clear();
        };
        for (const QString& line : notice.split(QLatin1Char('\n'))) {
            if (!isCommand(line)) {
                words << line;
                continue;
            }
            flushWords();
            auto* field = new QLineEdit(line, this);
            field->setObjectName(QStringLiteral("command"));
            field->setReadOnly(true);
            field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            field->setCursorPosition(0);
            widest = qMax(widest, field->fontMetrics().horizontalAdvance(line) + 24);
            layout->addWidget(field);
        }
        flushWords();
        layout->addSpacing(8);
    }
    layout->addStretch(1); // room to spare goes below the texts, not between them
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    ToolStyle::followPalette(this);
    // Wide enough for the longest command, within the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int limit = screen ? screen->availableGeometry().width() - 80 : 1200;
    setMinimumWidth(qBound(420, widest + 40, qMax(420, limit)));
    // As tall as the wrapped texts need at that width: the size hint measures them narrower.
    const int width = qMax(minimumWidth(), sizeHint().width());
    resize(width, hasHeightForWidth() ? heightForWidth(width) : sizeHint().height());
}

StartNotice::~StartNotice() = default;

StartNotice* StartNotice::showNotices(QWidget* parent, const QStringList& notices)
{
    if (notices.isEmpty())
        return nullptr;
    auto* notice = new StartNotice(notices, parent);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setModal(false);
    notice->show();
    return notice;
}

QList<QLineEdit*> StartNotice::commandFields() const
{
    return findChildren<QLineEdit*>(QStringLiteral("command"));
}
