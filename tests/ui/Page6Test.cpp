#include "ui/tools/Page6.h"
#include "base/Texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

AudioSource alsa(const char* name, const char* description)
{
    return {QStringLiteral("alsa"), QString::fromLatin1(name), QString::fromLatin1(description)};
}

AudioSource pulse(const char* name, const char* description)
{
    return {QStringLiteral("pulse"), QString::fromLatin1(name), QString::fromLatin1(description)};
}

QList<bool> checks(const Page6& page)
{
    QList<bool> result;
    for (int i = 0; i < page.deviceList()->topLevelItemCount(); ++i)
        result << (page.deviceList()->topLevelItem(i)->checkState(0) == Qt::Checked);
    return result;
}

// The rows in sight, as the user reads them.
QStringList shownRows(const Page6& page)
{
    QStringList rows;
    for (int i = 0; i < page.deviceList()->topLevelItemCount(); ++i) {
        if (!page.deviceList()->topLevelItem(i)->isHidden())
            rows << page.deviceList()->topLevelItem(i)->text(0);
    }
    return rows;
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
         {true, false, false}},
        {"a lone device", {alsa("sysdefault:CARD=USB", "USB Microphone")}, {true}},
        {"nothing of ours", {alsa("default", "Line"), pulse("mic", "Mic")}, {false, false}},
    };
    for (const Case& c : cases) {
        Page6 page(c.sources);
        EXPECT_EQ(checks(page), c.checked) << c.what;
        EXPECT_EQ(page.windowTitle(), QStringLiteral("Sound Recorder"));
        EXPECT_EQ(page.formatBox()->currentText(), QStringLiteral("MP3"));
        EXPECT_EQ(page.button()->text(), QStringLiteral("Start Recording"));
    }
}

TEST(Page6, DevicesShowWhatTheyRecordSonotrapFirstAndPluginsOnlyOnRequest)
{
    Texts::init(QStringLiteral("EN"));
    // What "ffmpeg -sources alsa" and "-sources pulse" list on a desktop, in discovery order.
    const QList<AudioSource> sources{
        pulse("alsa_input.pci-0000_00_1f.3.analog-stereo", "Built-in Audio Analog Stereo"),
        pulse("alsa_output.pci-0000_00_1f.3.analog-stereo.monitor", "Monitor of Built-in Audio Analog Stereo"),
        alsa("null", "Discard all samples (playback) or generate zero samples (capture)"),
        alsa("lavrate", "Rate Converter Plugin Using Libav/FFmpeg Library"),
        alsa("default", "Default ALSA Output (currently PulseAudio Sound Server)"),
        alsa("sysdefault:CARD=PCH", "HDA Intel PCH, ALC3246 Analog\nDefault Audio Device"),
        alsa("front:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog\nFront output / input"),
        alsa("sonotrap", "Sonotrap"),
        alsa("upmix", QString(600, u'x').toLatin1().constData()),
    };
    Page6 page(sources);
    page.show();
    EXPECT_EQ(shownRows(page), (QStringList{
                                   QStringLiteral("Sonotrap: the sound this computer plays (recommended)"),
                                   QStringLiteral("Sound played on Built-in Audio Analog Stereo"),
                                   QStringLiteral("Input: Built-in Audio Analog Stereo"),
                                   QStringLiteral("Default input of the sound system"),
                                   QStringLiteral("Sound card: HDA Intel PCH, ALC3246 Analog"),
                               }));
    EXPECT_EQ(checks(page).first(), true);
    EXPECT_EQ(checks(page).count(true), 1);
    EXPECT_FALSE(page.installHint()->isVisible()) << "Sonotrap is there";

    // Every device on request, plugins named with their description cut short.
    page.showAllBox()->setChecked(true);
    const QStringList all = shownRows(page);
    ASSERT_EQ(all.size(), sources.size());
    EXPECT_TRUE(all.contains(QStringLiteral("lavrate (Rate Converter Plugin Using Libav/FFmpeg Library)")));
    EXPECT_TRUE(all.contains(QStringLiteral("front:CARD=PCH,DEV=0 (HDA Intel PCH, ALC3246 Analog)")));
    for (const QString& row : all)
        EXPECT_LE(row.size(), 30 + 80) << row.toStdString();
    page.showAllBox()->setChecked(false);
    EXPECT_EQ(shownRows(page).size(), 5);
}

TEST(Page6, WithoutSonotrapTheWindowSaysHowToInstallIt)
{
    Texts::init(QStringLiteral("EN"));
    Page6 page({alsa("default", "Default ALSA Output"), alsa("null", "Discard all samples")});
    page.show();
    ASSERT_TRUE(page.installHint()->isVisible());
    EXPECT_TRUE(page.installHint()->text().contains(QStringLiteral("sonotrap-register --install")));
    EXPECT_TRUE(page.installHint()->text().contains(QStringLiteral("Debian package")));
    EXPECT_EQ(shownRows(page), QStringList{QStringLiteral("Default input of the sound system")});
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
        {{alsa("default", "Line"), pulse("b", "Mic")}, "Please select at least one device from the list!"},
    };
    for (const Case& c : cases) {
        Page6 page(c.sources);
        QStringList messages;
        page.message = [&](const QString& text) { messages << text; };
        page.button()->click();
        EXPECT_EQ(messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_EQ(page.job().state(), RecordJob::State::Idle);
        EXPECT_EQ(page.button()->text(), QStringLiteral("Start Recording"));
        EXPECT_EQ(page.elapsedLabel()->text(), QStringLiteral("00:00"));
        EXPECT_EQ(page.levelMeter()->value(), Page6::FloorDb);
    }
}

} // namespace
