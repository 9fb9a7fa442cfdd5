#include "base/OutputName.h"

#include "base/Texts.h"

namespace OutputName {

QString clean(const QString& title)
{
    QString name = title.size() >= 256 ? title.left(255) : title;
    static const QString forbidden = QStringLiteral("\\/|:*?><\"\t");
    name.removeIf([](QChar c) { return forbidden.contains(c); });
    name = name.trimmed();
    if (name.isEmpty())
        return tx(u"Unnamed media file");
    return name;
}

} // namespace OutputName
