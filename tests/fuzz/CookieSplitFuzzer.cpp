// Feeds arbitrary Cookie header values (as a captured request carried them) to the cookie
// splitting that fills the cookie store.
#include "download/CookieJar.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString header = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto pairs = CookieJar::split(header);
    if (pairs.size() > CookieJar::kMostCookies)
        __builtin_trap();
    for (const auto& [name, value] : pairs) {
        if (name.isEmpty() || name.contains(QLatin1Char('=')) || name.contains(QLatin1Char(';')) ||
            value.contains(QLatin1Char(';')))
            __builtin_trap();
        // The store's one-line form: host, five fields, name, value, separated by six tabs.
        const QString line = QStringLiteral("h.test\tFALSE\t/\tFALSE\t0\t") + name + QLatin1Char('\t') + value;
        if (line.count(QLatin1Char('\t')) != 6 || line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
            __builtin_trap();
    }
    return 0;
}
