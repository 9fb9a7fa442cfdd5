#include "download/HeadlessDownloadList.h"

#include "base/Texts.h"
#include "base/UntrustedText.h"

#include <QMutexLocker>

namespace {

// Names, titles and captions come from the network: the terminal acts on none of their characters.
QString shown(const QString& text)
{
    return UntrustedText::forTerminal(text);
}

} // namespace

HeadlessDownloadList::HeadlessDownloadList(std::FILE* out)
    : m_out(out)
{}

void HeadlessDownloadList::print(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    std::fprintf(m_out, "%s\n", line.toUtf8().constData());
    std::fflush(m_out);
}

void HeadlessDownloadList::rowInserted(qsizetype recordIndex,
                                       const QString& name,
                                       const QString& progress,
                                       const QString& baseName)
{
    print(
        QStringLiteral("download %1 [%2]: %3 %4").arg(recordIndex).arg(shown(baseName), shown(name), shown(progress)));
}

void HeadlessDownloadList::rowNameChanged(qsizetype recordIndex, const QString& name)
{
    print(QStringLiteral("download %1: title %2").arg(recordIndex).arg(shown(name)));
}

void HeadlessDownloadList::rowIconChanged(qsizetype recordIndex, const QString& iconPath)
{
    print(QStringLiteral("download %1: icon %2").arg(recordIndex).arg(shown(iconPath)));
}

void HeadlessDownloadList::rowProgressChanged(qsizetype recordIndex, const QString& progress)
{
    print(QStringLiteral("download %1: %2").arg(recordIndex).arg(shown(progress)));
}

void HeadlessDownloadList::rowRemoved(qsizetype recordIndex)
{
    print(QStringLiteral("download %1: removed").arg(recordIndex));
}

void HeadlessDownloadList::listVisibilityChanged(bool)
{}

void HeadlessDownloadList::captionChanged(const QString& caption)
{
    // Percent captions repeat the row's progress; print only real changes.
    {
        QMutexLocker lock(&m_mutex);
        if (caption == m_lastCaption || caption.endsWith(tx(u"..Downloading")))
            return;
        m_lastCaption = caption;
    }
    print(QStringLiteral("caption: %1").arg(shown(caption)));
}

void HeadlessDownloadList::flash()
{}
