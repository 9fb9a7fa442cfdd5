#pragma once

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"

#include <QDir>
#include <QFile>
#include <QStringList>

// A throw-away data folder for the library benchmarks: texts, the data folder as current
// directory, a settings store of its own, the given working folders and an empty scroller list.
inline void prepareBenchDataFolder(const QString& root, Settings& settings, const QStringList& folders)
{
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(root);
    QDir::setCurrent(root);
    Settings::setInstance(&settings);
    for (const QString& name : folders)
        QDir().mkpath(root + name);
    QFile xml(root + QStringLiteral("videos.xml"));
    if (xml.open(QIODevice::WriteOnly))
        xml.write("<slideshow />");
}
