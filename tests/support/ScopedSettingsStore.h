#pragma once

#include "base/Settings.h"

#include <QTemporaryDir>

#include <memory>

// A temporary data folder with its own settings file, installed as the process-wide store
// and data folder for the lifetime of the object.
class ScopedSettingsStore final
{
public:
    // seeded: start from the Defaults column; otherwise the store starts empty.
    explicit ScopedSettingsStore(bool seeded = true);
    ~ScopedSettingsStore();

    ScopedSettingsStore(const ScopedSettingsStore&) = delete;
    ScopedSettingsStore& operator=(const ScopedSettingsStore&) = delete;

    Settings& settings() { return *m_settings; }
    QString dir() const { return m_dir.path(); }
    // The raw text of the settings file.
    QByteArray fileText() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
};
