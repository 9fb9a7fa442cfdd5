#pragma once

#include <QString>
#include <QStringView>

// The interface texts in English and Russian. A text is named by its English wording (its
// role); "Size (sort item)" and the like name the few roles whose English wording repeats.
// The table is filled once at start and only read afterwards.
namespace Texts {

// "EN" or "RU"; anything other than "EN" selects Russian.
void init(const QString& languageCode = QStringLiteral("EN"));
QString languageCode();
bool isEnglish();

// The display name: main window title, tray tool-tip base, single-instance name.
QString displayName();

// The text of a role in the current language. An unknown role is a programming error: it
// returns the role itself (and warns), so nothing ever shows an empty caption.
QString text(QStringView role);

// True when the role exists in the table (for tests and checks).
bool hasRole(QStringView role);

// The link downloader's prompt with its example link.
QString linkPrompt(const QString& exampleLink);

} // namespace Texts

// Short form used throughout the program.
inline QString tx(QStringView role)
{
    return Texts::text(role);
}
