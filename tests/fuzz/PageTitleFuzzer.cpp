// Feeds arbitrary page bytes, widened one to one as the page reader hands them over, to the
// title extraction. Pages come from any web server.
#include "base/Texts.h"
#include "download/PageTitle.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool textsReady = [] {
        Texts::init(QStringLiteral("EN"));
        return true;
    }();
    (void)textsReady;
    const QString html = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString title = pageTitle(html);
    // At most 70 characters and "...", whatever the page.
    if (title.toUcs4().size() > 73)
        __builtin_trap();
    // The same bytes inside a title element, so the clean-up is reached for most inputs.
    const QString titled = pageTitle(QStringLiteral("<title>") + html + QStringLiteral("</title>"));
    if (titled.toUcs4().size() > 73 || titled.contains(QLatin1Char('\n')) || titled.contains(QLatin1Char('\t')))
        __builtin_trap();
    return 0;
}
