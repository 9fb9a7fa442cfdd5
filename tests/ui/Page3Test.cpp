#include "ui/settings/Page3.h"
#include "support/QStringPrinter.h"
#include "support/ScopedSettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QStringList kFormats = {
    QStringLiteral("mp4"),      QStringLiteral("x_flv"),     QStringLiteral("webm"),       QStringLiteral("quicktime"),
    QStringLiteral("x_m4v"),    QStringLiteral("mpeg"),      QStringLiteral("x_matroska"), QStringLiteral("x_ms_wmv"),
    QStringLiteral("threegpp"), QStringLiteral("x_msvideo"), QStringLiteral("ogg"),
};
const QStringList kBrowsers = {QStringLiteral("chrome"), QStringLiteral("firefox"), QStringLiteral("yandex"),
                               QStringLiteral("opera"), QStringLiteral("ie")};

class Page3Test : public ::testing::Test
{
protected:
    void write(const char* name, const char* text) { settings().write(QLatin1String(name), QLatin1String(text)); }
    Settings& settings() { return m_store.settings(); }
    bool checked(Page3& page, const char* name) { return page.box(QLatin1String(name))->isChecked(); }
    void click(Page3& page, const char* buttonName)
    {
        auto* button = page.findChild<QPushButton*>(QLatin1String(buttonName));
        ASSERT_NE(button, nullptr) << buttonName;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    ScopedSettingsStore m_store;
};

TEST_F(Page3Test, EveryStoredFlagHasABoxAndIsSavedInOrder)
{
    Page3 page(settings());
    const auto values = page.valuesToSave();
    QStringList names;
    for (const auto& value : values)
        names << value.first;
    EXPECT_EQ(names, Settings::saveOrder());
    for (const QString& name : Settings::saveOrder()) {
        if (name != QLatin1String("volume")) {
            EXPECT_NE(page.box(name), nullptr) << name.toStdString();
        }
    }
}

TEST_F(Page3Test, BoxesFollowTheStoredTexts)
{
    struct Row
    {
        const char* name;
        const char* stored;
        bool checked;
    };
    const Row rows[] = {
        {"mp4", "true", true},          {"mp4", "TRUE", false},         {"mp4", "", false},
        {"draganddrop", "True", false}, {"showmessage", "true", false}, {"showmessage", "TRUE", true},
        {"showmessage", "", true},      {"showdialogs", "false", true}, {"showdialogs", "true", false},
        {"aspect", "true", false},      {"aspect", "false", true},      {"aspect", "", false},
        {"aspect", "FALSE", false},     {"amplifier", "yes", false},
    };
    for (const Row& row : rows) {
        write(row.name, row.stored);
        Page3 page(settings());
        EXPECT_EQ(checked(page, row.name), row.checked) << row.name << " = \"" << row.stored << '"';
    }
}

TEST_F(Page3Test, MissingAspectShowsUncheckedAndOneSaveMakesItExplicit)
{
    ScopedSettingsStore empty(false);
    Page3 page(empty.settings());
    EXPECT_FALSE(page.box(QStringLiteral("aspect"))->isChecked());
    EXPECT_EQ(empty.settings().read(QStringLiteral("aspect")), QString());
    page.saveAndClose();
    EXPECT_EQ(empty.settings().read(QStringLiteral("aspect")), QStringLiteral("true"));
    EXPECT_EQ(empty.settings().read(QStringLiteral("volume")), QStringLiteral("0")) << "missing volume reads as 0";
}

TEST_F(Page3Test, AmplifierWidensTheVolumeRange)
{
    write("amplifier", "true");
    write("volume", "150");
    Page3 page(settings());
    EXPECT_EQ(page.volumeSlider()->maximum(), 200);
    EXPECT_EQ(page.volumeSlider()->value(), 150);
    EXPECT_EQ(page.rangeText(), QStringLiteral("200%"));
    EXPECT_EQ(page.volumeText(), QStringLiteral("Default volume: 150%"));
    EXPECT_EQ(page.volumeSlider()->tickInterval(), 5);

    page.box(QStringLiteral("amplifier"))->setChecked(false);
    EXPECT_EQ(page.volumeSlider()->maximum(), 100);
    EXPECT_EQ(page.volumeSlider()->value(), 100) << "the slider clamps its position";
    EXPECT_EQ(page.rangeText(), QStringLiteral("100%"));
    EXPECT_EQ(page.volumeText(), QStringLiteral("Default volume: 100%"));

    page.volumeSlider()->setValue(35);
    EXPECT_EQ(page.volumeText(), QStringLiteral("Default volume: 35%"));
}

TEST_F(Page3Test, StoredVolumeBeyondTheRangeIsClampedWithoutTheAmplifier)
{
    write("amplifier", "false");
    write("volume", "150");
    Page3 page(settings());
    EXPECT_EQ(page.volumeSlider()->value(), 100);
    EXPECT_EQ(page.volumeText(), QStringLiteral("Default volume: 100%"));
}

TEST_F(Page3Test, MasterBoxesEnableTheirDependants)
{
    write("downloadhttp", "false");
    write("getmusicfromcache", "true");
    Page3 page(settings());
    const auto enabledCount = [&page](const QStringList& names) {
        return std::count_if(names.begin(), names.end(),
                             [&page](const QString& name) { return page.box(name)->isEnabled(); });
    };
    QStringList videoDependants = kFormats;
    videoDependants << QStringLiteral("accelerator") << QStringLiteral("repairvideos");
    EXPECT_EQ(enabledCount(videoDependants), 0);
    EXPECT_EQ(enabledCount(kBrowsers), kBrowsers.size());

    page.box(QStringLiteral("downloadhttp"))->setChecked(true);
    page.box(QStringLiteral("getmusicfromcache"))->setChecked(false);
    EXPECT_EQ(enabledCount(videoDependants), videoDependants.size());
    EXPECT_EQ(enabledCount(kBrowsers), 0);
    EXPECT_TRUE(page.box(QStringLiteral("downloadhttpmusic"))->isEnabled());
}

TEST_F(Page3Test, RestoreDefaultsThenCancelWritesNothing)
{
    for (const QString& name : Settings::saveOrder())
        settings().write(name, name == QLatin1String("volume") ? QStringLiteral("150") : QStringLiteral("odd"));
    write("amplifier", "true");
    const QByteArray before = m_store.fileText();

    Page3 page(settings());
    click(page, "restoreDefaults");
    EXPECT_EQ(page.volumeSlider()->maximum(), 100);
    EXPECT_EQ(page.volumeSlider()->value(), 100);
    EXPECT_EQ(page.volumeText(), QStringLiteral("Default volume: 100%"));
    EXPECT_FALSE(page.box(QStringLiteral("downloadhttp"))->isChecked());
    EXPECT_FALSE(page.box(QStringLiteral("mp4"))->isEnabled());
    EXPECT_EQ(m_store.fileText(), before) << "nothing is written before Save and Close";
    click(page, "cancel");
    EXPECT_EQ(page.result(), QDialog::Rejected);
    EXPECT_EQ(m_store.fileText(), before);
}

TEST_F(Page3Test, RestoreDefaultsThenSaveStoresTheDefaultsColumn)
{
    for (const QString& name : Settings::saveOrder())
        settings().write(name, QStringLiteral("odd"));
    Page3 page(settings());
    click(page, "restoreDefaults");
    click(page, "saveAndClose");
    EXPECT_EQ(page.result(), QDialog::Accepted);
    for (const Settings::Definition& definition : Settings::table()) {
        const QString name = QString::fromLatin1(definition.name);
        if (Settings::saveOrder().contains(name)) {
            EXPECT_EQ(settings().read(name), QString::fromLatin1(definition.defaultText)) << definition.name;
        }
    }
}

TEST_F(Page3Test, InvertedBoxesStoreTheOpposite)
{
    Page3 page(settings());
    for (const char* name : {"aspect", "showmessage", "showdialogs", "mp4", "cutpreview"})
        page.box(QLatin1String(name))->setChecked(true);
    page.volumeSlider()->setValue(42);
    page.saveAndClose();
    EXPECT_EQ(settings().read(QStringLiteral("aspect")), QStringLiteral("false"));
    EXPECT_EQ(settings().read(QStringLiteral("showmessage")), QStringLiteral("false"));
    EXPECT_EQ(settings().read(QStringLiteral("showdialogs")), QStringLiteral("false"));
    EXPECT_EQ(settings().read(QStringLiteral("mp4")), QStringLiteral("true"));
    EXPECT_EQ(settings().read(QStringLiteral("volume")), QStringLiteral("42"));
    EXPECT_TRUE(settings().showMessage() == false && settings().keepAspect() == false);
}

// The HTTPS and streams group: the key log, the stream choice and the login-wide switch, whose
// environment file is written on saving; when it cannot be, the switch stays off.
TEST_F(Page3Test, HttpsAndStreamValuesAreShownAndSaved)
{
    write("keylogfile", "/home/me/keys.log");
    write("streamvariant", "smallest");
    Page3 page(settings());
    EXPECT_EQ(page.keyLogEdit()->text(), QStringLiteral("/home/me/keys.log"));
    EXPECT_EQ(page.streamVariantList()->currentData().toString(), QStringLiteral("smallest"));
    EXPECT_FALSE(page.box(QStringLiteral("keylogeverywhere"))->isChecked());

    QList<bool> applied;
    page.applyEnvironment = [&applied](bool on, QString&) {
        applied << on;
        return true;
    };
    page.keyLogEdit()->setText(QStringLiteral("  "));
    page.streamVariantList()->setCurrentIndex(1);
    page.box(QStringLiteral("keylogeverywhere"))->setChecked(true);
    page.saveAndClose();
    EXPECT_EQ(settings().read(QStringLiteral("keylogfile")), QString());
    EXPECT_EQ(settings().streamVariantChoice(), StreamVariantChoice::AsPlayed);
    EXPECT_TRUE(settings().keyLogEverywhere());
    EXPECT_EQ(applied, QList<bool>{true});

    // Saving again without a change writes no file; a stored text it does not know shows "best".
    write("streamvariant", "huge");
    Page3 again(settings());
    again.applyEnvironment = page.applyEnvironment;
    EXPECT_EQ(again.streamVariantList()->currentData().toString(), QStringLiteral("best"));
    again.saveAndClose();
    EXPECT_EQ(applied, QList<bool>{true});
    EXPECT_EQ(settings().read(QStringLiteral("streamvariant")), QStringLiteral("best"));

    // Switched off, and the file cannot be removed: a warning, and the switch stays on.
    Page3 failing(settings());
    failing.applyEnvironment = [](bool, QString& error) {
        error = QStringLiteral("read-only");
        return false;
    };
    failing.box(QStringLiteral("keylogeverywhere"))->setChecked(false);
    QTimer::singleShot(0, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window))
                box->accept();
        }
    });
    failing.saveAndClose();
    EXPECT_TRUE(settings().keyLogEverywhere());
}

TEST_F(Page3Test, SaveLeavesValuesItDoesNotOwnAlone)
{
    write("window", "888x696:10;20");
    write("tableview", "icon");
    Page3 page(settings());
    page.saveAndClose();
    EXPECT_EQ(settings().read(QStringLiteral("window")), QStringLiteral("888x696:10;20"));
    EXPECT_EQ(settings().read(QStringLiteral("tableview")), QStringLiteral("icon"));
}

} // namespace
