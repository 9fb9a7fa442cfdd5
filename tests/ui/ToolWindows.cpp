#include "ToolWindows.h"

#include "ShellFixture.h"

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "model/MediaRow.h"
#include "tools/RecordSources.h"
#include "ui/settings/Page3.h"
#include "ui/tools/AboutWindow.h"
#include "ui/tools/ManualWindow.h"
#include "ui/tools/Page4.h"
#include "ui/tools/Page5.h"
#include "ui/tools/Page6.h"
#include "ui/tools/Page7.h"
#include "ui/tools/StartNotice.h"
#include "ui/tools/page1.h"

#include <QApplication>
#include <QImage>
#include <QStyle>
#include <QWidget>

#include <cmath>

namespace ToolWindows {

std::vector<Theme> themes()
{
    QPalette light = QApplication::style()->standardPalette();

    QPalette dark;
    const QColor window(0x2b, 0x2b, 0x2b);
    const QColor base(0x1e, 0x1e, 0x1e);
    const QColor text(0xea, 0xea, 0xea);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::ToolTipBase, window);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    dark.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::Mid, QColor(0x25, 0x25, 0x25));
    dark.setColor(QPalette::Dark, QColor(0x15, 0x15, 0x15));
    dark.setColor(QPalette::Shadow, Qt::black);
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));

    QPalette contrast(Qt::white, Qt::black, QColor(0x60, 0x60, 0x60), QColor(0x30, 0x30, 0x30),
                      QColor(0x40, 0x40, 0x40), Qt::white, Qt::white, Qt::black, Qt::black);
    contrast.setColor(QPalette::Highlight, Qt::yellow);
    contrast.setColor(QPalette::HighlightedText, Qt::black);
    contrast.setColor(QPalette::AlternateBase, QColor(0x10, 0x10, 0x10));
    contrast.setColor(QPalette::PlaceholderText, QColor(0xc0, 0xc0, 0xc0));
    contrast.setColor(QPalette::ToolTipBase, Qt::black);
    contrast.setColor(QPalette::ToolTipText, Qt::white);
    return {{"light", light}, {"dark", dark}, {"contrast", contrast}};
}

std::vector<Window> windows()
{
    const auto source = [](const char* name, const char* description) {
        return AudioSource{QStringLiteral("alsa"), QString::fromLatin1(name), QString::fromLatin1(description)};
    };
    return {
        {"settings",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<Page3>(shell.settings(), &shell.page());
         }},
        {"converter",
         [](ShellFixture& shell, const QString& scratch) -> std::unique_ptr<QWidget> {
             return std::make_unique<Page4>(
                 QList<Page4::Row>{
                     {QStringLiteral("Holiday"), QStringLiteral("/nowhere/1.mp4"), QStringLiteral("00:01:10")}},
                 scratch + QStringLiteral("/profiles.xml"), &shell.page());
         }},
        {"cutter",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             MediaRow row;
             row.title = QStringLiteral("Holiday");
             row.format = QStringLiteral("MP4");
             row.duration = QStringLiteral("00:01:10");
             row.path = QStringLiteral("/nowhere/1.mp4");
             return std::make_unique<Page5>(row, nullptr, &shell.page());
         }},
        {"recorder",
         [source](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<Page6>(
                 QList<AudioSource>{
                     source("sonotrap", "Sonotrap"),
                     source("default", "Default ALSA Output"),
                     {QStringLiteral("pulse"), QStringLiteral("ci_sink.monitor"), QStringLiteral("Monitor of CISink")}},
                 &shell.page());
         }},
        {"downloader",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<Page7>(&shell.page());
         }},
        {"analyzer",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<page1>(QStringLiteral("Holiday"), QStringLiteral("MP4"), QString(), &shell.page());
         }},
        {"about",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<AboutWindow>(&shell.page());
         }},
        {"manual",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<ManualWindow>(&shell.page());
         }},
        {"startnotice",
         [](ShellFixture& shell, const QString&) -> std::unique_ptr<QWidget> {
             return std::make_unique<StartNotice>(startNotices(), &shell.page());
         }},
    };
}

QStringList startNotices()
{
    const QString permission =
        tx(u"Live capture needs the permission to capture network traffic (cap_net_raw, cap_net_admin), "
           u"and the capture helper does not have it. Grant it once with:\n"
           u"sudo setcap cap_net_raw,cap_net_admin+ep %1\n"
           u"Everything else works without it.");
    return {tx(u"Video detection is off. To catch videos, open Settings and check "
               u"\"Search for videos in your HTTP internet traffic\"."),
            permission.arg(longHelperPath())};
}

QString longHelperPath()
{
    return QStringLiteral("/home/someone/src/trawlix-checkout/build-release/libexec/trawlix/trawlix-capture");
}

QColor backgroundOf(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    // Inside the frame, away from any text: the bottom right corner.
    return image.pixelColor(image.width() - 6, image.height() - 6);
}

double luminance(const QColor& colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace ToolWindows
