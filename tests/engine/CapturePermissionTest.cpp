// Live capture as a normal user: the capture helper's file carries cap_net_raw,cap_net_admin (as
// the Debian package sets it), the program's file nothing, and an unprivileged user's headless
// run sees a request on lo while neither process holds a capability; without the capability on
// the helper the run says once what is missing and goes on until it is ended. Creating the user
// and setting the capability take root, which CI has.
#include "capture/CapturePermission.h"
#include "support/NginxServer.h"
#include "support/ProcessStatus.h"
#include "support/SkipUnlessCi.h"
#include "support/TestProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");
const QString kHelper = QStringLiteral(TRAWLIX_CAPTURE_HELPER);

// A file capability attribute as setcap writes it (revision 2, little endian).
QByteArray fileCapability(quint32 magic, quint32 permitted, quint32 inheritable = 0)
{
    QByteArray bytes;
    for (const quint32 word : {magic, permitted, inheritable, 0u, 0u}) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes += char(word >> shift & 0xff);
    }
    return bytes;
}

TEST(CapturePermission, ReadsTheEffectiveSetOfTheStatusText)
{
    struct Case
    {
        const char* status;
        bool granted;
    };
    const Case cases[] = {
        {"Name:\tx\nCapInh:\t0000000000000000\nCapEff:\t0000000000003000\n", true}, // net_raw, net_admin
        {"CapEff:\t0000000000002000\n", true},                                      // net_raw alone suffices
        {"CapEff:\t0000000000001000\n", false},                                     // net_admin alone
        {"CapEff:\t0000000000000000\nCapPrm:\t000001ffffffffff\n", false},          // permitted, not effective
        {"CapEff:\t000001fffeffffff\n", true},                                      // root
        {"CapEff:\t00000000000030001\n", false},                                    // too long
        {"CapEff:\tzz\n", false},
        {"CapEff:\n", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CapturePermission::grantedByStatus(c.status), c.granted) << c.status;
}

TEST(CapturePermission, ReadsTheHelpersFileCapability)
{
    constexpr quint32 netRaw = 1u << 13;
    constexpr quint32 netAdmin = 1u << 12;
    constexpr quint32 v2 = 0x02000000u;
    constexpr quint32 v3 = 0x03000000u;
    constexpr quint32 effective = 1;
    struct Case
    {
        QByteArray attribute;
        bool granted;
        const char* what;
    };
    QByteArray v3Root = fileCapability(v3 | effective, netRaw | netAdmin) + QByteArray(4, '\0');
    QByteArray v3Other = fileCapability(v3 | effective, netRaw | netAdmin) + QByteArray("\xe8\x03\0\0", 4);
    const Case cases[] = {
        {fileCapability(v2 | effective, netRaw | netAdmin), true, "cap_net_raw,cap_net_admin+ep"},
        {fileCapability(v2 | effective, netRaw), true, "cap_net_raw+ep"},
        {fileCapability(v2, netRaw | netAdmin), false, "+p without the effective flag"},
        {fileCapability(v2 | effective, netAdmin), false, "cap_net_admin alone"},
        {fileCapability(v2 | effective, 0, netRaw), false, "inheritable only"},
        {v3Root, true, "revision 3, owned by root"},
        {v3Other, false, "revision 3, another namespace's root"},
        {fileCapability(0x01000000u | effective, netRaw).left(12), false, "revision 1"},
        {fileCapability(v2 | effective, netRaw).left(19), false, "short"},
        {fileCapability(v2 | effective, netRaw) + '\0', false, "long"},
        {QByteArray(), false, "no attribute"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CapturePermission::grantedByFileCapability(c.attribute), c.granted) << c.what;

    // A process that may gain nothing on exec gets nothing from the file, set-user-ID or not.
    const QByteArray granted = fileCapability(v2 | effective, netRaw | netAdmin);
    const QByteArray user = "Uid:\t1000\nCapEff:\t0000000000000000\nNoNewPrivs:\t0\n";
    const QByteArray confined = "Uid:\t1000\nCapEff:\t0000000000000000\nNoNewPrivs:\t1\n";
    if (geteuid() != 0) {
        EXPECT_TRUE(CapturePermission::grantedTo(user, granted, false));
        EXPECT_TRUE(CapturePermission::grantedTo(user, {}, true));
        EXPECT_FALSE(CapturePermission::grantedTo(user, {}, false));
        EXPECT_FALSE(CapturePermission::grantedTo(confined, granted, false));
        EXPECT_FALSE(CapturePermission::grantedTo(confined, {}, true));
    }
    EXPECT_TRUE(CapturePermission::missingMessage(QStringLiteral("/usr/libexec/trawlix/trawlix-capture"))
                    .contains(QStringLiteral("sudo setcap cap_net_raw,cap_net_admin+ep "
                                             "/usr/libexec/trawlix/trawlix-capture\n")));
}

class UnprivilegedCapture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kBinary).isExecutable())
            TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
        if (geteuid() != 0)
            TRAWLIX_SKIP_UNLESS_CI("creating a user and setting a capability need root");
        for (const char* tool : {"useradd", "userdel", "setcap", "setpriv", "curl"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
                QStandardPaths::findExecutable(QString::fromLatin1(tool), {QStringLiteral("/usr/sbin")}).isEmpty())
                TRAWLIX_SKIP_UNLESS_CI(tool << " is needed (passwd, libcap2-bin, util-linux, curl)");
        }
        m_user = QStringLiteral("trawlixcap%1").arg(getpid());
        QString log;
        ASSERT_TRUE(TestProcess::succeeds(QStringLiteral("useradd"),
                                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), m_user},
                                          &log))
            << log.toStdString();
        m_created = true;
        const passwd* entry = getpwnam(m_user.toLocal8Bit().constData());
        ASSERT_NE(entry, nullptr);
        m_uid = entry->pw_uid;
        m_gid = entry->pw_gid;
        // The user reaches its copy of the program and its own folders, nothing of root's.
        ASSERT_EQ(chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        for (const char* folder : {"bin", "libexec", "libexec/trawlix", "home", "data", "config"}) {
            const QString path = m_dir.filePath(QString::fromLatin1(folder));
            ASSERT_TRUE(QDir().mkpath(path));
            ASSERT_EQ(chown(QFile::encodeName(path).constData(), m_uid, m_gid), 0);
        }
    }

    void TearDown() override
    {
        if (m_created)
            TestProcess::succeeds(QStringLiteral("userdel"), {m_user});
    }

    // A copy of the program at bin/trawlix and of the capture helper where the program looks for
    // it, libexec/trawlix/trawlix-capture; the helper gets the capability when asked, the
    // program never.
    QString copyProgram(bool helperCapability)
    {
        const QString path = m_dir.filePath(QStringLiteral("bin/trawlix"));
        const QString helper = m_dir.filePath(QStringLiteral("libexec/trawlix/trawlix-capture"));
        for (const auto& [from, to] : {std::pair{kBinary, path}, std::pair{kHelper, helper}}) {
            if (!QFile::copy(from, to))
                return {};
            QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadOther | QFileDevice::ExeOther);
        }
        if (helperCapability) {
            QString log;
            if (!TestProcess::succeeds(QStringLiteral("setcap"),
                                       {QStringLiteral("cap_net_raw,cap_net_admin+ep"), helper}, &log)) {
                m_error = log;
                return {};
            }
        }
        m_helper = helper;
        return path;
    }

    // The environment of the user's runs: its own folders, and a plugin folder that a privileged
    // Qt program would load plugins from.
    QProcessEnvironment userEnvironment() const
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("QT_PLUGIN_PATH"), m_dir.filePath(QStringLiteral("home")));
        return environment;
    }

    // Starts the program as the user: headless, video detection on, capturing on lo.
    void startAsUser(QProcess& process, const QString& program, const QString& dataFolder)
    {
        process.setProcessEnvironment(userEnvironment());
        const QString data = m_dir.filePath(QStringLiteral("data/") + dataFolder);
        QDir().mkpath(data);
        chown(QFile::encodeName(data).constData(), m_uid, m_gid);
        process.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                       QStringLiteral("--clear-groups"), QStringLiteral("--"), program, QStringLiteral("--headless"),
                       QStringLiteral("--video"), QStringLiteral("--interface"), QStringLiteral("lo"),
                       QStringLiteral("--data-dir"), data});
    }

    QTemporaryDir m_dir;
    QString m_user;
    QString m_error;
    QString m_helper;
    bool m_created = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

TEST_F(UnprivilegedCapture, WithTheCapabilityOnTheHelperAUserSeesARequestOnLoAndNoProcessHoldsIt)
{
    const QString program = copyProgram(true);
    if (program.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("setcap failed (a file system without capabilities?): " << m_error.toStdString());
    QString caps;
    TestProcess::succeeds(QStringLiteral("getcap"), {program}, &caps);
    EXPECT_TRUE(caps.trimmed().isEmpty()) << "the program itself carries " << caps.toStdString();
    QTemporaryDir root;
    ASSERT_TRUE(QFile(root.filePath(QStringLiteral("clip.mp4"))).open(QIODevice::WriteOnly));
    NginxServer server(root.path(), 8080);
    if (!server.start())
        TRAWLIX_SKIP_UNLESS_CI("nginx could not listen on 127.0.0.1:8080: " << server.error().toStdString());

    QProcess trawlix;
    startAsUser(trawlix, program, QStringLiteral("granted"));
    ASSERT_TRUE(trawlix.waitForStarted());
    // The capture opens its adapter a moment after the start: ask until the request is seen.
    const QString address = server.url(QStringLiteral("/clip.mp4"));
    QByteArray printed;
    TestProcess::readUntil(
        trawlix, QProcess::StandardOutput, printed,
        [&](const QByteArray& output) {
            if (output.contains(address.toUtf8()))
                return true;
            TestProcess::succeeds(QStringLiteral("curl"),
                                  {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"), address});
            return false;
        },
        15000);
    const QString output = QString::fromUtf8(printed);
    // The program (with QT_PLUGIN_PATH pointing at the user's folder) holds no capability at
    // all, and neither does its helper once the adapter is open.
    const qint64 pid = trawlix.processId();
    for (const char* set : {"CapEff", "CapPrm", "CapAmb"})
        EXPECT_EQ(ProcessStatus::value(pid, set), QByteArray("0000000000000000")) << "trawlix " << set;
    const QList<qint64> helpers = ProcessStatus::children(pid, "trawlix-capture");
    EXPECT_EQ(helpers.size(), 1);
    for (const qint64 helper : helpers) {
        for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
            EXPECT_EQ(ProcessStatus::value(helper, set), QByteArray("0000000000000000")) << "helper " << set;
        EXPECT_EQ(ProcessStatus::value(helper, "NoNewPrivs"), QByteArray("1"));
    }
    const QString errors = QString::fromUtf8(trawlix.readAllStandardError());
    EXPECT_EQ(TestProcess::end(trawlix), 0);
    EXPECT_TRUE(output.contains(address)) << output.toStdString() << errors.toStdString();
    EXPECT_FALSE(errors.contains(QLatin1String("setcap"))) << errors.toStdString();
    for (const qint64 helper : helpers)
        EXPECT_TRUE(ProcessStatus::gone(helper)) << "the helper outlived the program";
}

TEST_F(UnprivilegedCapture, WithoutItTheRunNamesTheHelpersSetcapLineOnceAndEndsCleanly)
{
    const QString program = copyProgram(false);
    ASSERT_FALSE(program.isEmpty());
    QProcess trawlix;
    startAsUser(trawlix, program, QStringLiteral("missing"));
    ASSERT_TRUE(trawlix.waitForStarted());
    QByteArray said;
    TestProcess::readUntil(
        trawlix, QProcess::StandardError, said,
        [](const QByteArray& output) { return output.contains("capture ended"); }, 10000);
    EXPECT_EQ(trawlix.state(), QProcess::Running) << "the rest of the program goes on";
    EXPECT_EQ(TestProcess::end(trawlix), 0);
    const QString errors = QString::fromUtf8(said + trawlix.readAllStandardError());
    const QString grant = QStringLiteral("sudo setcap cap_net_raw,cap_net_admin+ep ") + m_helper + QLatin1Char('\n');
    EXPECT_EQ(errors.count(grant), 1) << errors.toStdString();
    EXPECT_EQ(errors.count(QLatin1String("needs the permission to capture network traffic")), 1)
        << errors.toStdString();
}

// The kernel forgets a parent-death signal when a file with capabilities is executed: the
// helper sets its own, so it dies with its parent even when it was granted the capability.
TEST_F(UnprivilegedCapture, TheGrantedHelperEndsWhenItsParentIsKilled)
{
    if (copyProgram(true).isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("setcap failed (a file system without capabilities?): " << m_error.toStdString());
    const QString stream = m_dir.filePath(QStringLiteral("home/stream.pcap"));
    QProcess parent;
    parent.setProcessEnvironment(userEnvironment());
    parent.start(QStringLiteral("setpriv"),
                 {QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                  QStringLiteral("--clear-groups"), QStringLiteral("--"), QStringLiteral("/bin/sh"),
                  QStringLiteral("-c"), QStringLiteral("\"$0\" --interface lo > \"$1\" & echo $!; wait"), m_helper,
                  stream});
    ASSERT_TRUE(parent.waitForReadyRead(10000)) << parent.readAllStandardError().toStdString();
    const qint64 helper = parent.readLine().trimmed().toLongLong();
    ASSERT_GT(helper, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(stream).size() >= 24; }, 10000))
        << "the helper did not open lo as the user";
    ::kill(pid_t(parent.processId()), SIGKILL);
    parent.waitForFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ProcessStatus::gone(helper); }, 5000)) << "the helper outlived its parent";
    if (!ProcessStatus::gone(helper))
        ::kill(pid_t(helper), SIGKILL);
}

} // namespace
