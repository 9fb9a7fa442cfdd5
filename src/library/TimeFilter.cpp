#include "library/TimeFilter.h"

#include "base/AppPaths.h"

#include <QDir>

namespace TimeFilter {

qint64 span(const QString& filter)
{
    if (filter == QLatin1String("30"))
        return 2592000;
    if (filter == QLatin1String("7"))
        return 604800;
    if (filter == QLatin1String("3"))
        return 259200;
    if (filter == QLatin1String("24"))
        return 3600;
    return 0;
}

qint64 threshold(const QString& filter, qint64 now)
{
    const qint64 back = span(filter);
    return back == 0 ? 0 : now - back;
}

QString defaultFor(const QStringList& fileNames, qint64 now)
{
    constexpr int kEnough = 51;
    int c1 = 0;
    int c3 = 0;
    int c7 = 0;
    int c30 = 0;
    for (const QString& name : fileNames) {
        if (name.size() < 10)
            continue;
        qint64 t = 0;
        for (const QChar c : QStringView(name).first(10)) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                break;
            t = t * 10 + (c.unicode() - u'0');
        }
        if (t <= 0)
            continue;
        const qint64 age = now - t; // a time in the future counts as younger than a day
        c1 += age < 86400;
        c3 += age < 259200;
        c7 += age < 604800;
        c30 += age < 2592000;
    }
    if (c1 >= kEnough)
        return QStringLiteral("24");
    if (c3 >= kEnough)
        return QStringLiteral("3");
    if (c7 >= kEnough)
        return QStringLiteral("7");
    if (c30 >= kEnough)
        return QStringLiteral("30");
    return QStringLiteral("all");
}

QString defaultForLibrary(qint64 now)
{
    const QStringList names =
        QDir(AppPaths::folder(AppPaths::Folder::Videos)).entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    return defaultFor(names, now);
}

} // namespace TimeFilter
