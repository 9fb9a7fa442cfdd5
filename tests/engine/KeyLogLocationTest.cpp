// Where the key log comes from: the command line's, the settings', Trawlix's own (private,
// emptied at each start, never through a link), and the login-wide environment file.
#include "engine/KeyLogLocation.h"

#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class KeyLogLocationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_runtime = m_dir.filePath(QStringLiteral("runtime"));
        ASSERT_TRUE(QDir().mkpath(m_runtime));
        ::chmod(QFile::encodeName(m_runtime).constData(), 0700);
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        m_savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        qputenv("XDG_CONFIG_HOME", m_savedConfig);
    }
    static mode_t modeOf(const QString& path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_runtime;
    QByteArray m_savedRuntime;
    QByteArray m_savedConfig;
};

TEST_F(KeyLogLocationTest, TheCommandLineWinsThenTheSettingThenOurOwnForLiveCaptureOnly)
{
    const QString own = m_runtime + QStringLiteral("/trawlix/tls-keys.log");
    EXPECT_EQ(KeyLogLocation::ownPath(), own);
    const auto check = [](const KeyLogLocation::Choice& choice, const QString& path, bool isOwn) {
        EXPECT_EQ(choice.path, path);
        EXPECT_EQ(choice.own, isOwn);
    };
    check(KeyLogLocation::choose(QStringLiteral("/a.log"), QStringLiteral("/b.log"), true), QStringLiteral("/a.log"),
          false);
    check(KeyLogLocation::choose({}, QStringLiteral(" /b.log "), true), QStringLiteral("/b.log"), false);
    check(KeyLogLocation::choose({}, QStringLiteral("  "), true), own, true);
    check(KeyLogLocation::choose({}, {}, false), QString(), false); // a capture file has no own key log
}

TEST_F(KeyLogLocationTest, OurOwnIsPrivateEmptiedInPlaceAndNeverALink)
{
    const QString own = KeyLogLocation::ownPath();
    const QString folder = QFileInfo(own).path();
    QString error;
    ASSERT_TRUE(KeyLogLocation::prepareOwn(error)) << error.toStdString();
    EXPECT_EQ(modeOf(folder), mode_t(0700));
    EXPECT_EQ(modeOf(own), mode_t(0600));

    // A browser holds it open and appends; the next start empties the same file.
    QFile browser(own);
    ASSERT_TRUE(browser.open(QIODevice::Append));
    browser.write("CLIENT_RANDOM 00 11\n");
    browser.flush();
    struct stat before = {};
    ::stat(QFile::encodeName(own).constData(), &before);
    ASSERT_TRUE(KeyLogLocation::prepareOwn(error, false)) << error.toStdString();
    EXPECT_EQ(read(own), QByteArray("CLIENT_RANDOM 00 11\n")) << "starting a browser keeps what is there";
    ASSERT_TRUE(KeyLogLocation::prepareOwn(error)) << error.toStdString();
    EXPECT_EQ(read(own), QByteArray());
    struct stat after = {};
    ::stat(QFile::encodeName(own).constData(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    browser.write("CLIENT_RANDOM 22 33\n");
    browser.flush();
    EXPECT_EQ(read(own), QByteArray("CLIENT_RANDOM 22 33\n"));
    browser.close();

    // Loose modes are mended.
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(own).constData(), 0644);
    ASSERT_TRUE(KeyLogLocation::prepareOwn(error)) << error.toStdString();
    EXPECT_EQ(modeOf(folder), mode_t(0700));
    EXPECT_EQ(modeOf(own), mode_t(0600));

    // A link in place of the file, or of the folder, is refused and its target left alone.
    const QString target = m_dir.filePath(QStringLiteral("precious"));
    QFile precious(target);
    ASSERT_TRUE(precious.open(QIODevice::WriteOnly));
    precious.write("keep me");
    precious.close();
    ASSERT_TRUE(QFile::remove(own));
    ASSERT_TRUE(QFile::link(target, own));
    EXPECT_FALSE(KeyLogLocation::prepareOwn(error));
    EXPECT_EQ(read(target), QByteArray("keep me"));
    ASSERT_TRUE(QFile::remove(own));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QFile::link(m_dir.path(), folder));
    EXPECT_FALSE(KeyLogLocation::prepareOwn(error));
    EXPECT_TRUE(error.contains(folder)) << error.toStdString();
}

TEST_F(KeyLogLocationTest, EnvironmentFileIsWrittenAndRemovedButAnotherOneIsLeftAlone)
{
    const QString file = KeyLogLocation::environmentFile();
    EXPECT_TRUE(file.endsWith(QLatin1String("/config/environment.d/60-trawlix-tls-keys.conf"))) << file.toStdString();
    QString error;
    EXPECT_TRUE(KeyLogLocation::applyEnvironment(false, error)) << "nothing to remove is fine";
    ASSERT_TRUE(KeyLogLocation::applyEnvironment(true, error)) << error.toStdString();
    EXPECT_TRUE(KeyLogLocation::environmentApplied());
    const QByteArray text = read(file);
    EXPECT_TRUE(text.contains("\nSSLKEYLOGFILE=\"" + QFile::encodeName(KeyLogLocation::ownPath()) + "\"\n"))
        << text.toStdString();
    ASSERT_TRUE(KeyLogLocation::applyEnvironment(true, error)) << "again is the same";
    EXPECT_EQ(read(file), text);
    ASSERT_TRUE(KeyLogLocation::applyEnvironment(false, error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(file));

    // The user's own file of that name is neither replaced nor removed.
    QFile users(file);
    ASSERT_TRUE(users.open(QIODevice::WriteOnly));
    users.write("SSLKEYLOGFILE=/home/me/keys.log\n");
    users.close();
    EXPECT_FALSE(KeyLogLocation::applyEnvironment(true, error));
    EXPECT_TRUE(error.contains(QLatin1String("not written by Trawlix"))) << error.toStdString();
    EXPECT_TRUE(KeyLogLocation::applyEnvironment(false, error));
    EXPECT_EQ(read(file), QByteArray("SSLKEYLOGFILE=/home/me/keys.log\n"));
}

} // namespace
