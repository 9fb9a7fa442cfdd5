#include "ui/tools/Page6.h"
#include "base/Texts.h"

#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

AudioSource alsa(const char* name, const char* description)
{
    return {QStringLiteral("alsa"), QString::fromLatin1(name), QString::fromLatin1(description)};
}

QList<bool> checks(const Page6& page)
{
    QList<bool> result;
    for (int i = 0; i < page.deviceList()->topLevelItemCount(); ++i)
        result << (page.deviceList()->topLevelItem(i)->checkState(0) == Qt::Checked);
    return result;
}

TEST(Page6, ListsTheSourcesAndChecksOnlyTheOwnDeviceOrALoneOne)
{
    Texts::init(QStringLiteral("EN"));
    struct Case
    {
        const char* what;
        QList<AudioSource> sources;
        QList<bool> checked;
    };
    const Case cases[] = {
        {"own device among others",
         {alsa("default", "Default"), alsa("sonotrap", "Sonotrap"), alsa("hw", "Sonotrap Pro")},
         {false, true, false}},
        {"a lone device", {alsa("hw", "USB Microphone")}, {true}},
        {"nothing of ours", {alsa("a", "Line"), alsa("b", "Mic")}, {false, false}},
    };
    for (const Case& c : cases) {
        Page6 page(c.sources);
        EXPECT_EQ(checks(page), c.checked) << c.what;
        EXPECT_EQ(page.deviceList()->topLevelItem(0)->text(0), c.sources.constFirst().label()) << c.what;
        EXPECT_EQ(page.windowTitle(), QStringLiteral("Sound Recorder"));
        EXPECT_EQ(page.formatBox()->currentText(), QStringLiteral("MP3"));
        EXPECT_EQ(page.button()->text(), QStringLiteral("Start Recording"));
    }
}

TEST(Page6, StartWithoutADeviceOnlyExplains)
{
    Texts::init(QStringLiteral("EN"));
    struct Case
    {
        QList<AudioSource> sources;
        const char* message;
    };
    const Case cases[] = {
        {{}, "No devices for audio recording!"},
        {{alsa("a", "Line"), alsa("b", "Mic")}, "Please select at least one device from the list!"},
    };
    for (const Case& c : cases) {
        Page6 page(c.sources);
        QStringList messages;
        page.message = [&](const QString& text) { messages << text; };
        page.button()->click();
        EXPECT_EQ(messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_EQ(page.job().state(), RecordJob::State::Idle);
        EXPECT_EQ(page.button()->text(), QStringLiteral("Start Recording"));
    }
}

} // namespace
