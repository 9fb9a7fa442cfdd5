#include "library/FileImport.h"

#include "base/Texts.h"
#include "library/LibraryFormat.h"
#include "library/LibraryTarget.h"
#include "library/TagStore.h"

#include <QFileInfo>

namespace FileImport {
namespace {

bool importOne(const LibraryContext& context, const QString& source, qint64 seconds)
{
    const QFileInfo info(source);
    const QString extension = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix().toLower();
    const QString processing = tx(u"..Processing ");
    // The user's file stays where it is; the library gets a copy.
    const LibraryTarget::Placement placed =
        LibraryTarget::copyIn({source, seconds, extension, false}, [&](int percent) {
            context.caption(QString::number(percent) + QLatin1Char('%') + processing);
        });
    if (placed.placed())
        TagStore::write(placed.path, QStringLiteral("title"), info.completeBaseName());
    context.captionRestored();
    return placed.placed();
}

} // namespace

int importChosen(const LibraryContext& context, const QStringList& paths)
{
    const qint64 now = context.now();
    int copied = 0;
    for (qsizetype k = 0; k < paths.size(); ++k)
        copied += importOne(context, paths.at(k), now + k) ? 1 : 0;
    return copied;
}

int importDropped(const LibraryContext& context, const QStringList& paths)
{
    const qint64 now = context.now();
    int dropped = 0;
    for (qsizetype k = 0; k < paths.size(); ++k) {
        if (!LibraryFormat::isImportable(paths.at(k)))
            continue;
        ++dropped;
        importOne(context, paths.at(k), now + k);
    }
    return dropped;
}

} // namespace FileImport
