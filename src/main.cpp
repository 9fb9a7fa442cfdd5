#include "app/AppPaths.h"
#include "app/CommandLine.h"
#include "app/Engine.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "ui/Page2.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "trawlix: %s\n\n%s", qPrintable(commandLine.error), qPrintable(CommandLine::usage()));
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlix"));
    QApplication::setQuitOnLastWindowClosed(false);

    // TRAWLIX_LANGUAGE=RU shows the Russian interface (the program itself always starts in English).
    Texts::init(qEnvironmentVariable("TRAWLIX_LANGUAGE", QStringLiteral("EN")));
    AppPaths::setDataDir(AppPaths::chooseDataDir(commandLine.dataDir));
    QDir::setCurrent(AppPaths::dataDir());
    for (const AppPaths::Folder folder : {AppPaths::Folder::Icons16, AppPaths::Folder::Icons32,
                                          AppPaths::Folder::FavIcons, AppPaths::Folder::Screens,
                                          AppPaths::Folder::Videos, AppPaths::Folder::Temp,
                                          AppPaths::Folder::TempExport, AppPaths::Folder::TempRecords,
                                          AppPaths::Folder::Thumbnails})
        QDir().mkpath(AppPaths::folder(folder));
    QFile slideshow(AppPaths::file(QStringLiteral("videos.xml")));
    if (!slideshow.exists() && slideshow.open(QIODevice::WriteOnly))
        slideshow.write("<slideshow />");
    slideshow.close();

    Settings settings(AppPaths::settingsPath());
    Settings::setInstance(&settings);
    settings.seedDefaultsIfMissing();

    Engine engine;
    Page2 window(engine);
    window.start();
    if (!commandLine.startHidden)
        window.show();
    return app.exec();
}
