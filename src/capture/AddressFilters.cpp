#include "capture/AddressFilters.h"

namespace AddressFilters {
namespace {

bool containsAscii(const QString& text, std::string_view fragment)
{
    return text.contains(QLatin1String(fragment.data(), qsizetype(fragment.size())));
}

bool endsWithIgnoringCase(const QString& text, const char* suffix)
{
    return text.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

} // namespace

bool skipAsPage(const QString& address)
{
    // Lower-casing here only folds ASCII letters, like the byte-wise rule it stands for.
    static constexpr const char* kResourceExtensions[] = {
        ".js", ".css", ".xml", ".jpg", ".png", ".gif", ".ico", ".jpeg", ".woff",
    };
    for (const char* extension : kResourceExtensions) {
        if (endsWithIgnoringCase(address, extension))
            return true;
    }
    if (address.contains(QLatin1Char('%')))
        return true;
    for (std::string_view fragment : kAdvertisingAndWidgets) {
        if (containsAscii(address, fragment))
            return true;
    }
    return false;
}

bool skipAsCandidate(const QString& address)
{
    if (containsAscii(address, kStreamingPlayback))
        return true;
    for (std::string_view fragment : kVideoSites) {
        if (containsAscii(address, fragment))
            return true;
    }
    return false;
}

} // namespace AddressFilters
