// The converter's profiles: the file format, the tree, the default/auto rule, the limits, what
// is written back, and how a missing, unreadable, malformed or oversized file is handled.
#include "tools/ConversionProfiles.h"

#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

ProfileSet parsed(const QByteArray& xml)
{
    ProfileSet set;
    QString error;
    EXPECT_TRUE(ProfileSet::parse(xml, set, &error)) << error.toStdString();
    return set;
}

const QByteArray kSmall = R"xml(<root output_folder="/srv/out/">
  <categories>
    <category name="mob" desc="Mobile Phones"/>
    <category name="vid" desc="Video Files"/>
  </categories>
  <groups>
    <group name="phone" desc="Android Phones" in_category="mob"/>
    <group name="phones_old" desc="Mobile Phone" in_category="mob"/>
    <group name="fmt" desc="Common Video Formats" in_category="vid mob"/>
  </groups>
  <profiles>
    <profile name="a" desc="Both (*.mp4)" groups="phone fmt" file_ext="mp4" user="1">
      <params>
        <video>
          <codec><value default="1">x264</value><value>libx265</value><value>Original</value></codec>
          <size><value>1920x1080</value><value default="1">1280x720</value><value>854x480</value><value auto="1">Original</value></size>
          <bitrate><value>5000</value><value>2500</value><value default="1">1000</value></bitrate>
        </video>
        <audio><codec><value>aac</value></codec></audio>
        <limits>
          <limit depend="Video Codec" value="libx265">
            <video><size><max>1280x720</max></size><bitrate><max>2500</max></bitrate></video>
          </limit>
          <limit depend="Video Codec" value="Original"><video><size><max>nothing</max></size></video></limit>
          <limit depend="Audio Codec" value="x264"><video><size><max>1920x1080</max></size></video></limit>
        </limits>
      </params>
    </profile>
    <profile name="old" desc="Old (*.3gp)" groups="phones_old" file_ext="3gp" user="1"/>
    <profile name="song" desc="Song (*.mp3)" groups="fmt" file_ext="mp3"/>
  </profiles>
</root>)xml";

TEST(ConversionProfilesTest, ShippedSetIsCompleteAndEveryPathResolves)
{
    const ProfileSet set = ProfileStore::shippedSet();
    ASSERT_GE(set.profiles.size(), 20);
    QStringList descs;
    for (const ConversionProfile& profile : set.profiles) {
        EXPECT_FALSE(profile.fileExt.isEmpty()) << profile.name.toStdString();
        EXPECT_FALSE(descs.contains(profile.desc)) << "descriptions are the key of a selection";
        descs << profile.desc;
        EXPECT_FALSE(profile.list(ParamList::AudioCodec).isEmpty()) << profile.name.toStdString();
        if (!profile.audioOnly()) {
            EXPECT_FALSE(profile.list(ParamList::VideoCodec).isEmpty()) << profile.name.toStdString();
        }
    }
    const QStringList paths = set.profilePaths();
    EXPECT_EQ(paths.size(), set.profiles.size());
    for (const QString& path : paths)
        EXPECT_GE(set.indexOfPath(path), 0) << path.toStdString();
    EXPECT_EQ(set.indexOfPath(QStringLiteral("video_formats/mp4")),
              set.indexOfDesc(QStringLiteral("MP4 H.264/AAC (*.mp4)")));
    // The tree's texts name a profile too, also when the description holds a slash.
    EXPECT_EQ(set.indexOfPath(QStringLiteral("Common Video Formats/MP4 H.264/AAC (*.mp4)")),
              set.indexOfDesc(QStringLiteral("MP4 H.264/AAC (*.mp4)")));
    EXPECT_EQ(set.indexOfPath(QStringLiteral("audio_formats/mp4")), -1);
    EXPECT_EQ(set.indexOfPath(QStringLiteral("mp4")), -1);
}

TEST(ConversionProfilesTest, TreeFollowsTheSubstringRulesAndTheLastRememberedLeafWins)
{
    const ProfileSet set = parsed(kSmall);
    QList<int> selected;
    const QList<ProfileTreeNode> tree = set.tree(&selected);
    ASSERT_EQ(tree.size(), 2);
    EXPECT_EQ(tree.at(0).text, QStringLiteral("Mobile Phones"));
    // "phone" is a substring of "phones_old": that group shows the profile of "phone" too, and
    // the group in both categories appears under both.
    ASSERT_EQ(tree.at(0).children.size(), 3);
    EXPECT_EQ(tree.at(0).children.at(0).text, QStringLiteral("Android Phones"));
    EXPECT_EQ(tree.at(0).children.at(1).text, QStringLiteral("Old Mobile Phones"));
    EXPECT_EQ(tree.at(0).children.at(2).text, QStringLiteral("Common Video Formats"));
    ASSERT_EQ(tree.at(0).children.at(0).children.size(), 2);
    EXPECT_EQ(tree.at(0).children.at(0).children.at(1).text, QStringLiteral("Old (*.3gp)"));
    ASSERT_EQ(tree.at(0).children.at(1).children.size(), 1);
    EXPECT_EQ(tree.at(0).children.at(1).children.at(0).text, QStringLiteral("Old (*.3gp)"));
    // "Both" is under "phone" and "fmt"; both leaves name the same profile.
    EXPECT_EQ(tree.at(0).children.at(0).children.at(0).profile, 0);
    EXPECT_EQ(tree.at(1).children.at(0).children.at(0).profile, 0);
    EXPECT_EQ(tree.at(1).children.at(0).children.at(1).text, QStringLiteral("Song (*.mp3)"));
    // Two profiles carry the mark; the leaf built last is the one selected.
    EXPECT_EQ(selected, (QList<int>{1, 0, 0}));
    EXPECT_EQ(set.outputFolder, QStringLiteral("/srv/out/"));
    EXPECT_EQ(ProfileStore::outputFolder(set), QStringLiteral("/srv/out/"));
}

TEST(ConversionProfilesTest, DefaultAndAutoRuleAndLimits)
{
    const ProfileSet set = parsed(kSmall);
    auto choices = set.choices(0, false);
    const auto& size = choices.at(static_cast<int>(ParamList::Resolution));
    EXPECT_EQ(size.entries.size(), 4);
    EXPECT_EQ(size.selectedText(), QStringLiteral("1280x720"));
    // With the defaults used, the later `auto` entry wins over `default`.
    choices = set.choices(0, true);
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::Resolution)).selectedText(), QStringLiteral("Original"));
    // No mark at all: the first entry; a list the profile does not define stays empty.
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::AudioCodec)).selected, 0);
    EXPECT_FALSE(choices.at(static_cast<int>(ParamList::FrameRate)).defined);
    EXPECT_TRUE(choices.at(static_cast<int>(ParamList::FrameRate)).entries.isEmpty());

    // libx265 takes the entries up to and including each maximum; the default is counted over
    // what was taken.
    set.applyCodec(0, QStringLiteral("libx265"), false, choices);
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::Resolution)).entries,
              (QStringList{QStringLiteral("1920x1080"), QStringLiteral("1280x720")}));
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::Resolution)).selectedText(), QStringLiteral("1280x720"));
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::VideoBitrate)).entries,
              (QStringList{QStringLiteral("5000"), QStringLiteral("2500")}));
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::VideoBitrate)).selected, 0);
    // A maximum that names no entry leaves the whole list; other `depend` values do nothing.
    set.applyCodec(0, QStringLiteral("Original"), false, choices);
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::Resolution)).entries.size(), 4);
    set.applyCodec(0, QStringLiteral("x264"), false, choices);
    EXPECT_EQ(choices.at(static_cast<int>(ParamList::Resolution)).entries.size(), 4);
}

TEST(ConversionProfilesTest, AudioOnlyByTheExtensionInTheDescription)
{
    ConversionProfile profile;
    for (const char* desc : {"MP3 (*.mp3)", "Opus (*.opus)", "x (*.flac) y", "WAV (*.wav)"}) {
        profile.desc = QString::fromLatin1(desc);
        EXPECT_TRUE(profile.audioOnly()) << desc;
    }
    for (const char* desc : {"MP4 (*.mp4)", "mp3 player", "MKV (*.mkv)"}) {
        profile.desc = QString::fromLatin1(desc);
        EXPECT_FALSE(profile.audioOnly()) << desc;
    }
}

TEST(ConversionProfilesTest, BadDocumentsAreReportedWithTheirLine)
{
    ProfileSet set;
    QString error;
    EXPECT_FALSE(ProfileSet::parse("<root>\n<categories>\n<category name=\"a\"\n</root>", set, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("line 3"))) << error.toStdString();
    EXPECT_FALSE(ProfileSet::parse("<profiles/>", set, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("root")));
    EXPECT_FALSE(ProfileSet::parse(QByteArray(ProfileSet::MaxFileSize + 1, ' '), set, &error));

    QByteArray many = "<root><profiles>";
    for (int i = 0; i <= ProfileSet::MaxItems; ++i)
        many += "<profile/>";
    many += "</profiles></root>";
    EXPECT_FALSE(ProfileSet::parse(many, set, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("profiles")));

    // Values beyond the bound and over-long texts are cut, not refused.
    QByteArray values = "<root><profiles><profile desc=\"" + QByteArray(5000, 'd') + "\"><params><audio><codec>";
    for (int i = 0; i < ProfileSet::MaxEntries + 50; ++i)
        values += "<value>v</value>";
    values += "</codec></audio></params></profile></profiles></root>";
    ASSERT_TRUE(ProfileSet::parse(values, set, &error));
    EXPECT_EQ(set.profiles.first().list(ParamList::AudioCodec).size(), ProfileSet::MaxEntries);
    EXPECT_EQ(set.profiles.first().desc.size(), ProfileSet::MaxTextLength);
}

TEST(ConversionProfilesTest, TreeAndPathsAreBoundedWhenEverythingIsInEverything)
{
    // Every group in every category and every profile in every group.
    QByteArray xml = "<root><categories>";
    for (int i = 0; i < 60; ++i)
        xml += "<category name=\"\" desc=\"c\"/>";
    xml += "</categories><groups>";
    for (int i = 0; i < 60; ++i)
        xml += "<group name=\"g" + QByteArray::number(i) + "\" desc=\"g\" in_category=\"\"/>";
    xml += "</groups><profiles>";
    QByteArray all;
    for (int i = 0; i < 60; ++i)
        all += "g" + QByteArray::number(i) + " ";
    for (int i = 0; i < 600; ++i)
        xml += "<profile name=\"p" + QByteArray::number(i) + "\" groups=\"" + all + "\"/>";
    xml += "</profiles></root>";
    const ProfileSet set = parsed(xml);
    int nodes = 0;
    for (const ProfileTreeNode& category : set.tree()) {
        ++nodes;
        for (const ProfileTreeNode& group : category.children)
            nodes += 1 + static_cast<int>(group.children.size());
    }
    EXPECT_LE(nodes, ProfileSet::MaxTreeNodes);
    EXPECT_GT(nodes, ProfileSet::MaxTreeNodes / 2);
    EXPECT_EQ(set.profilePaths().size(), ProfileSet::MaxTreeNodes);
}

class ProfileFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.filePath(QStringLiteral("profiles.xml")); }
    void write(const QByteArray& bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
};

TEST_F(ProfileFileTest, MissingUnreadableAndMalformedFilesFallBackToTheShippedSet)
{
    const int shipped = static_cast<int>(ProfileStore::shippedSet().profiles.size());
    ProfileLoad load = ProfileStore::load(path());
    EXPECT_EQ(load.source, ProfileLoad::Source::Shipped);
    EXPECT_EQ(load.set.profiles.size(), shipped);
    EXPECT_TRUE(load.notice.isEmpty()) << "no file of one's own is no fault";
    EXPECT_TRUE(load.writable());

    // A folder in the file's place cannot be read (root reads any file, so no mode bits).
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("profiles.xml")));
    load = ProfileStore::load(path());
    EXPECT_EQ(load.source, ProfileLoad::Source::Shipped);
    EXPECT_TRUE(load.notice.contains(QStringLiteral("cannot be read")));
    ASSERT_TRUE(QDir(m_dir.path()).rmdir(QStringLiteral("profiles.xml")));

    const QByteArray broken = "<root>\n<groups>\n</group>\n</root>\n";
    write(broken);
    load = ProfileStore::load(path());
    EXPECT_EQ(load.source, ProfileLoad::Source::Malformed);
    EXPECT_EQ(load.set.profiles.size(), shipped);
    // The element left open.
    EXPECT_TRUE(load.notice.contains(QStringLiteral("line 2"))) << load.notice.toStdString();
    EXPECT_FALSE(load.writable());
    // Nothing the program does writes over a file it could not read.
    EXPECT_FALSE(ProfileStore::remember(path(), QStringLiteral("MP3 (*.mp3)")));
    EXPECT_FALSE(ProfileStore::setOutputFolder(path(), QStringLiteral("/tmp/x/")));
    EXPECT_EQ(read(), broken);
}

TEST_F(ProfileFileTest, RememberedProfileAndFolderAreWrittenOnlyWhenTheyChange)
{
    // The first choice creates the file from the shipped document.
    EXPECT_TRUE(ProfileStore::remember(path(), QStringLiteral("MP3 (*.mp3)")));
    ProfileLoad load = ProfileStore::load(path());
    ASSERT_EQ(load.source, ProfileLoad::Source::File);
    const int mp3 = load.set.indexOfDesc(QStringLiteral("MP3 (*.mp3)"));
    ASSERT_GE(mp3, 0);
    EXPECT_TRUE(load.set.profiles.at(mp3).user);
    EXPECT_FALSE(ProfileStore::remember(path(), QStringLiteral("MP3 (*.mp3)")));

    EXPECT_TRUE(ProfileStore::remember(path(), QStringLiteral("WAV (*.wav)")));
    load = ProfileStore::load(path());
    int marked = 0;
    for (const ConversionProfile& profile : load.set.profiles)
        marked += profile.user ? 1 : 0;
    EXPECT_EQ(marked, 1);
    EXPECT_TRUE(load.set.profiles.at(load.set.indexOfDesc(QStringLiteral("WAV (*.wav)"))).user);

    EXPECT_TRUE(ProfileStore::setOutputFolder(path(), QStringLiteral("/srv/converted/")));
    const QByteArray once = read();
    EXPECT_FALSE(ProfileStore::setOutputFolder(path(), QStringLiteral("/srv/converted/")));
    EXPECT_EQ(read(), once);
    EXPECT_EQ(ProfileStore::outputFolder(ProfileStore::load(path()).set), QStringLiteral("/srv/converted/"));
    EXPECT_FALSE(ProfileStore::remember(path(), QStringLiteral("No such profile")));
}

} // namespace
