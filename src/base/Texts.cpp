#include "base/Texts.h"

#include <QDebug>
#include <QHash>

#include <atomic>

namespace Texts {
namespace {

struct Row
{
    const char16_t* role;
    const char16_t* russian;
    const char16_t* english = nullptr; // when the English text differs from the role name
};

constexpr Row kTable[] = {
#include "base/TextTable.inc"
};

std::atomic<bool> g_english{true};

const QHash<QStringView, const Row*>& index()
{
    static const QHash<QStringView, const Row*> rows = [] {
        QHash<QStringView, const Row*> result;
        for (const Row& row : kTable)
            result.insert(QStringView(row.role), &row);
        return result;
    }();
    return rows;
}

} // namespace

void init(const QString& languageCode)
{
    g_english.store(languageCode == QLatin1String("EN"));
    index();
}

QString languageCode()
{
    return isEnglish() ? QStringLiteral("EN") : QStringLiteral("RU");
}

bool isEnglish()
{
    return g_english.load();
}

QString displayName()
{
    return QStringLiteral("Trawlix");
}

QString text(QStringView role)
{
    const auto it = index().constFind(role);
    if (it == index().cend()) {
        qWarning() << "unknown interface text" << role;
        return role.toString();
    }
    const Row* row = *it;
    if (!isEnglish())
        return QString::fromUtf16(row->russian);
    return QString::fromUtf16(row->english ? row->english : row->role);
}

bool hasRole(QStringView role)
{
    return index().contains(role);
}

QString linkPrompt(const QString& exampleLink)
{
    const QString prefix = text(u"Enter the link of the video you want to download: e.g. ");
    return isEnglish() ? prefix + exampleLink : prefix + exampleLink + QLatin1Char(')');
}

} // namespace Texts
