#include "ShellFixture.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "library/ScanScheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

ShellFixture::ShellFixture()
{
    Texts::init(QStringLiteral("EN"));
    AppPaths::setDataDir(m_dir.path());
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::Videos));
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::TempExport));
    m_settings = std::make_unique<Settings>(m_dir.path() + QStringLiteral("/Trawlix.conf"));
    m_settings->seedDefaultsIfMissing();
    Settings::setInstance(m_settings.get());
    writeSlideshow({});
    m_page = std::make_unique<Page2>(m_engine, this);
    m_dialogs = std::make_unique<DialogPrompts>(m_page.get());
    m_page->exitHandler = [this] { ++exits; };
    m_page->start();
}

ShellFixture::~ShellFixture()
{
    m_page.reset();
    Settings::setInstance(nullptr);
}

bool ShellFixture::confirm(const QString& question)
{
    questions << question;
    return answer;
}

void ShellFixture::showSaved(const QString& path)
{
    saved << path;
    if (m_page)
        m_dialogs->showSaved(path);
}

QString ShellFixture::addRow(const QString& title, const QString& baseName, const QString& author)
{
    const QString path = AppPaths::folder(AppPaths::Folder::Videos) + baseName + QStringLiteral(".mp4");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(1000, 'x') + title.toUtf8());
    file.close();
    MediaRow row;
    row.title = title;
    row.path = path;
    row.author = author;
    row.format = QStringLiteral("MP4");
    row.captureSeconds = baseName.toLongLong();
    model().insertTop(row);
    return path;
}

void ShellFixture::writeSlideshow(const QStringList& videos)
{
    QFile file(AppPaths::file(QStringLiteral("videos.xml")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray xml = "<slideshow>";
    for (const QString& video : videos)
        xml += "<photo image=\"160x90/x.jpg\" video=\"" + video.toUtf8() + "\">00:00:05</photo>";
    xml += "</slideshow>";
    file.write(xml);
}

void ShellFixture::settle()
{
    m_engine.scans().waitForIdle();
    QCoreApplication::processEvents();
}
