#include "support/ScopedSettingsStore.h"

#include "base/AppPaths.h"

#include <QFile>

ScopedSettingsStore::ScopedSettingsStore(bool seeded)
    : m_settings(std::make_unique<Settings>(m_dir.filePath(QStringLiteral("Trawlix.conf"))))
{
    if (seeded)
        m_settings->seedDefaultsIfMissing();
    Settings::setInstance(m_settings.get());
    AppPaths::setDataDir(m_dir.path());
}

ScopedSettingsStore::~ScopedSettingsStore()
{
    Settings::setInstance(nullptr);
}

QByteArray ScopedSettingsStore::fileText() const
{
    QFile file(m_settings->path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
