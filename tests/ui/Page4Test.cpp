// The converter window over a profiles file of the test: tree, lists, remembered profile,
// output folder, the cut pickers, and one real conversion from the "Convert" button.
#include "ui/tools/Page4.h"
#include "base/Texts.h"
#include "ui/controls/ConvertGears.h"
#include "ui/tools/SavedNotice.h"

#include "ShellFixture.h"
#include "support/DesktopFolderHandler.h"
#include "support/MediaFixture.h"
#include "support/QStringPrinter.h"
#include "support/ScopedSettingsStore.h"
#include "support/SkipUnlessCi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QTreeWidgetItem* leaf(QTreeWidget* tree, const QString& text)
{
    const QList<QTreeWidgetItem*> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

QStringList entries(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

class Page4Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Texts::init(QStringLiteral("EN"));
        ASSERT_TRUE(m_dir.isValid());
        m_profiles = m_dir.filePath(QStringLiteral("profiles.xml"));
    }
    QByteArray profilesFile() const
    {
        QFile file(m_profiles);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::unique_ptr<Page4> open(const QList<Page4::Row>& rows)
    {
        auto page = std::make_unique<Page4>(rows, m_profiles);
        page->message = [this](const QString& text) { m_messages << text; };
        page->confirm = [this](const QString& question) {
            m_questions << question;
            return false;
        };
        page->savedNotice()->reveal = [this](const QString& folder) { m_revealed << folder; };
        return page;
    }

    ScopedSettingsStore m_store; // "autoopenfolder" on, as by default
    QTemporaryDir m_dir;
    QString m_profiles;
    QStringList m_messages;
    QStringList m_questions;
    QStringList m_revealed;
};

TEST_F(Page4Test, ShippedProfilesFillTheTreeAndASelectionIsRemembered)
{
    const QList<Page4::Row> rows{
        {QStringLiteral("Holiday: day 1?"), QStringLiteral("/v/1.mp4"), QStringLiteral("00:01:10")},
        {QStringLiteral("\\/|"), QStringLiteral("/v/2.mp4"), QStringLiteral("00:00:05")}};
    auto page = open(rows);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("Media Converter"));
    EXPECT_TRUE(page->noticeLabel()->isHidden()) << "no profiles.xml yet is the usual case, not a problem";
    EXPECT_EQ(page->tree()->topLevelItemCount(), 4);
    EXPECT_TRUE(page->useDefaults()->isChecked());
    EXPECT_FALSE(page->cutBox()->isVisibleTo(page.get())) << "the cut is offered for one file only";

    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("MKV H.264/AAC (*.mkv)")));
    const QString folder = page->outputFolder();
    EXPECT_EQ(page->fileList()->topLevelItem(0)->text(0), folder + QStringLiteral("Holiday day 1.mkv"));
    EXPECT_EQ(page->fileList()->topLevelItem(1)->text(0), folder + QStringLiteral("Unnamed media file.mkv"));
    EXPECT_EQ(page->list(ParamList::VideoCodec)->currentText(), QStringLiteral("x264"));
    EXPECT_FALSE(page->list(ParamList::VideoCodec)->isEnabled()) << "the defaults are used";
    EXPECT_TRUE(profilesFile().contains("user=\"1\""));

    // Lists open up without the defaults; a codec with limits cuts the video lists.
    page->useDefaults()->setChecked(false);
    EXPECT_TRUE(page->list(ParamList::VideoCodec)->isEnabled());
    EXPECT_EQ(entries(page->list(ParamList::Resolution)).size(), 4);
    page->list(ParamList::VideoCodec)->setCurrentText(QStringLiteral("libx265"));
    EXPECT_EQ(entries(page->list(ParamList::Resolution)), QStringList{QStringLiteral("1920x1080")});
    EXPECT_EQ(entries(page->list(ParamList::VideoBitrate)),
              (QStringList{QStringLiteral("8000"), QStringLiteral("5000")}));

    // An audio profile hides the video parameters and renames the outputs.
    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("MP3 (*.mp3)")));
    EXPECT_TRUE(page->audioOnly());
    EXPECT_TRUE(page->videoGroup()->isHidden());
    EXPECT_EQ(page->fileList()->topLevelItem(0)->text(0), folder + QStringLiteral("Holiday day 1.mp3"));

    // Opened again, the window selects the remembered profile.
    auto again = open(rows);
    ASSERT_NE(again->tree()->currentItem(), nullptr);
    EXPECT_EQ(again->tree()->currentItem()->text(0), QStringLiteral("MP3 (*.mp3)"));
    EXPECT_TRUE(again->noticeLabel()->isHidden());
}

TEST_F(Page4Test, OutputFolderChangesOnlyWhenItDiffers)
{
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::FileManager);
    ASSERT_TRUE(desktop.valid());
    auto page = open({{QStringLiteral("Clip"), QStringLiteral("/v/1.mp4"), QStringLiteral("00:00:30")}});
    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("WAV (*.wav)")));
    page->chooseFolder = [] { return QString(); };
    page->changeButton()->click();
    const QByteArray before = profilesFile();
    page->chooseFolder = [this] { return m_dir.filePath(QStringLiteral("out")); };
    page->changeButton()->click();
    EXPECT_EQ(page->outputFolder(), m_dir.filePath(QStringLiteral("out/")));
    EXPECT_EQ(page->fileList()->topLevelItem(0)->text(0), m_dir.filePath(QStringLiteral("out/Clip.wav")));
    const QByteArray changed = profilesFile();
    EXPECT_NE(changed, before);
    page->changeButton()->click();
    EXPECT_EQ(profilesFile(), changed) << "the same folder again writes nothing";
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->savedNotice()->handlerKnown(); }, 10000));
    EXPECT_TRUE(page->openFolderButton()->isEnabled());
    page->openFolderButton()->click();
    EXPECT_EQ(m_revealed, QStringList{m_dir.filePath(QStringLiteral("out/"))});
}

TEST_F(Page4Test, MalformedFileIsReportedAndNeverWritten)
{
    QFile file(m_profiles);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<root>\n<profiles>\n<profile desc=\"x\">\n</root>\n");
    file.close();
    const QByteArray broken = profilesFile();
    auto page = open({{QStringLiteral("Clip"), QStringLiteral("/v/1.mp4"), QStringLiteral("00:00:30")}});
    EXPECT_TRUE(page->noticeLabel()->text().contains(QStringLiteral("line 3")))
        << page->noticeLabel()->text().toStdString();
    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("MP3 (*.mp3)")));
    EXPECT_TRUE(page->audioOnly());
    EXPECT_EQ(profilesFile(), broken);
}

TEST_F(Page4Test, CutPickersStayInsideTheDuration)
{
    auto page = open({{QStringLiteral("Clip"), QStringLiteral("/v/1.mp4"), QStringLiteral("00:02:30")}});
    EXPECT_TRUE(page->cutBox()->isVisibleTo(page.get()));
    page->cutBox()->setChecked(true);
    EXPECT_TRUE(page->cutFrom()->isEnabled());
    page->cutTo()->setTime(QTime(0, 2, 30));
    page->cutFrom()->setTime(QTime(0, 1, 0));
    page->cutFrom()->setTime(QTime(0, 3, 0)); // beyond the duration: back to the last accepted
    EXPECT_EQ(page->cutFrom()->time(), QTime(0, 1, 0));
    page->cutTo()->setTime(QTime(0, 0, 30)); // not after "from": "from" moves before it
    EXPECT_EQ(page->cutFrom()->time(), QTime(0, 0, 29));
    page->cutTo()->setTime(QTime(0, 0, 0));
    EXPECT_EQ(page->cutFrom()->time(), QTime(0, 0, 0));
    EXPECT_EQ(page->cutTo()->time(), QTime(0, 0, 1));
    page->cutTo()->setTime(QTime(0, 2, 30));
    page->cutFrom()->setTime(QTime(0, 2, 30)); // "to" follows one second later... past the end
    EXPECT_EQ(page->cutTo()->time(), QTime(0, 2, 31));
    const ConvertJob::Settings settings = page->settings();
    EXPECT_TRUE(settings.cut);
    EXPECT_EQ(settings.cutFrom, 150);
}

TEST_F(Page4Test, ConvertRunsTheJobAndShowsProgress)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::FileManager);
    ASSERT_TRUE(desktop.valid());
    const QString source = m_dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(source, 4));
    auto page = open({{QStringLiteral("My clip"), source, QStringLiteral("00:00:04")}});
    page->chooseFolder = [this] { return m_dir.filePath(QStringLiteral("converted")); };
    page->changeButton()->click();
    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("Ogg Vorbis (*.ogg)")));
    QStringList titles;
    QObject::connect(page.get(), &QWidget::windowTitleChanged, [&titles](const QString& t) { titles << t; });
    QSignalSpy finished(&page->job(), &ConvertJob::finished);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->savedNotice()->handlerKnown(); }, 10000));
    page->show();
    page->convertButton()->click();
    EXPECT_FALSE(page->gears()->isHidden());
    EXPECT_TRUE(page->progressBar()->isVisible());
    EXPECT_TRUE(page->cancelButton()->isVisible());
    EXPECT_FALSE(page->convertButton()->isVisible()) << "one file: nothing to skip to, Cancel is enough";
    EXPECT_EQ(page->statusLabel()->text(), QStringLiteral("Converting My clip.ogg"));
    ASSERT_TRUE(finished.wait(60000));
    QTest::qWait(50);
    EXPECT_FALSE(page->progressBar()->isVisible());
    EXPECT_FALSE(page->cancelButton()->isVisible());
    EXPECT_TRUE(page->savedNotice()->isVisible());
    EXPECT_EQ(page->savedNotice()->label()->text(),
              QStringLiteral("Saved to ") + m_dir.filePath(QStringLiteral("converted/My clip.ogg")));
    EXPECT_TRUE(page->savedNotice()->openButton()->isVisible());
    EXPECT_EQ(page->convertButton()->text(), QStringLiteral("Convert"));
    EXPECT_EQ(page->windowTitle(), QStringLiteral("Media Converter"));
    EXPECT_FALSE(page->gears()->isRunning());
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("converted/My clip.ogg"))));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();
    bool sawPercent = false;
    for (const QString& title : titles)
        sawPercent =
            sawPercent || (title.startsWith(QStringLiteral("Converting My clip.ogg: ")) && title.endsWith(u'%'));
    EXPECT_TRUE(sawPercent) << titles.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_revealed, QStringList{m_dir.filePath(QStringLiteral("converted"))});

    // Again: the output exists, the answer is No, the file is skipped.
    page->convertButton()->click();
    ASSERT_TRUE(finished.wait(60000));
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_EQ(m_questions.first(), QStringLiteral("Current folder already contains a file named: My clip.ogg. "
                                                  "Overwrite this file?"));
}

TEST_F(Page4Test, ConvertWithoutAFormatOrFilesSaysWhatIsMissing)
{
    auto none = open({});
    none->convertButton()->click();
    EXPECT_EQ(none->statusLabel()->text(),
              QStringLiteral("No files to convert: check them in the main window's list first."));
    auto page = open({{QStringLiteral("Clip"), QStringLiteral("/v/1.mp4"), QStringLiteral("00:00:30")}});
    page->show();
    page->tree()->setCurrentItem(nullptr);
    page->convertButton()->click();
    EXPECT_TRUE(page->statusLabel()->isVisible());
    EXPECT_EQ(page->statusLabel()->text(), QStringLiteral("Choose an output format in the list on the left first."));
    EXPECT_FALSE(page->converting());
}

TEST_F(Page4Test, WithABrowserForFoldersThePathIsShownAndNothingOpens)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    const DesktopFolderHandler desktop(DesktopFolderHandler::Kind::Browser);
    ASSERT_TRUE(desktop.valid());
    const QString source = m_dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(source, 2));
    // The window's own way of opening a folder: xdg-open, which here is the stub.
    auto page = std::make_unique<Page4>(QList<Page4::Row>{{QStringLiteral("Clip"), source, QStringLiteral("00:00:02")}},
                                        m_profiles);
    page->message = [this](const QString& text) { m_messages << text; };
    page->chooseFolder = [this] { return m_dir.filePath(QStringLiteral("converted")); };
    page->changeButton()->click();
    page->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->savedNotice()->handlerKnown(); }, 10000));
    EXPECT_FALSE(page->openFolderButton()->isEnabled());
    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("WAV (*.wav)")));
    QSignalSpy finished(&page->job(), &ConvertJob::finished);
    page->convertButton()->click();
    ASSERT_TRUE(finished.wait(60000));
    QTest::qWait(50);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(page->savedNotice()->label()->text(),
              QStringLiteral("Saved to ") + m_dir.filePath(QStringLiteral("converted/Clip.wav")));
    EXPECT_FALSE(page->savedNotice()->openButton()->isVisible());
    QTest::qWait(300);
    EXPECT_EQ(desktop.xdgOpenLog(), QString()) << "the folder went to no browser, also not by itself";
}

TEST_F(Page4Test, CancelEndsTheRunAndLeavesNoFile)
{
    if (!MediaFixture::ffmpegAvailable())
        TRAWLIX_SKIP_UNLESS_CI("ffmpeg is not installed");
    const QString source = m_dir.filePath(QStringLiteral("long.mp4"));
    ASSERT_TRUE(MediaFixture::makeClip(source, 30));
    auto page = open({{QStringLiteral("Long"), source, QStringLiteral("00:00:30")}});
    page->chooseFolder = [this] { return m_dir.filePath(QStringLiteral("converted")); };
    page->changeButton()->click();
    page->show();
    page->tree()->setCurrentItem(leaf(page->tree(), QStringLiteral("MKV H.264/AAC (*.mkv)")));
    QSignalSpy finished(&page->job(), &ConvertJob::finished);
    page->convertButton()->click();
    ASSERT_TRUE(page->converting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->progressBar()->value() > 0; }, 30000));
    page->cancelButton()->click();
    ASSERT_TRUE(finished.wait(30000));
    QTest::qWait(50);
    EXPECT_EQ(page->statusLabel()->text(), QStringLiteral("The conversion was cancelled."));
    EXPECT_FALSE(page->savedNotice()->isVisible());
    EXPECT_TRUE(QDir(m_dir.filePath(QStringLiteral("converted"))).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(m_revealed.isEmpty());
}

TEST(Page4Main, ConvertFromMenuOpensOneConverterForTheChosenRows)
{
    ShellFixture shell;
    shell.addRow(QStringLiteral("First"), QStringLiteral("1700000001"));
    shell.addRow(QStringLiteral("Second"), QStringLiteral("1700000002"));
    shell.page().selectRow(0);
    shell.page().dispatch(ShellCommand::ConvertFromMenu);
    Page4* converter = shell.page().converter();
    ASSERT_NE(converter, nullptr);
    EXPECT_TRUE(converter->isVisible());
    ASSERT_EQ(converter->fileList()->topLevelItemCount(), 1);
    EXPECT_TRUE(converter->fileList()->topLevelItem(0)->text(0).contains(QStringLiteral("Second")));
    shell.page().dispatch(ShellCommand::ConvertFromMenu);
    EXPECT_EQ(shell.page().converter(), converter);
}

} // namespace
