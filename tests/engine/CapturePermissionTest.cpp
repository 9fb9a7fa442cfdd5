// Live capture as a normal user: the program's file carries cap_net_raw,cap_net_admin (as the
// Debian package sets it) and an unprivileged user's headless run sees a request on lo; the same
// program without the capability says once what is missing and goes on until it is ended.
// Creating the user and setting the capability take root, which CI has.
#include "capture/CapturePermission.h"
#include "support/NginxServer.h"
#include "support/SkipUnlessCi.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBinary = QStringLiteral(TRAWLIX_BINARY_DIR "/src/trawlix");

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
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
        ASSERT_TRUE(run(QStringLiteral("useradd"),
                        {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                         QStringLiteral("/usr/sbin/nologin"), m_user},
                        &log))
            << log.toStdString();
        m_created = true;
        const passwd* entry = getpwnam(m_user.toLocal8Bit().constData());
        ASSERT_NE(entry, nullptr);
        m_uid = entry->pw_uid;
        m_gid = entry->pw_gid;
        // The user reaches its copy of the program and its own folders, nothing of root's.
        ASSERT_EQ(chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        for (const char* folder : {"bin", "home", "data", "config"}) {
            const QString path = m_dir.filePath(QString::fromLatin1(folder));
            ASSERT_TRUE(QDir().mkpath(path));
            ASSERT_EQ(chown(QFile::encodeName(path).constData(), m_uid, m_gid), 0);
        }
    }

    void TearDown() override
    {
        if (m_created)
            run(QStringLiteral("userdel"), {m_user});
    }

    // A copy of the program at bin/NAME, with the capability when asked.
    QString copyProgram(const QString& name, bool withCapability)
    {
        const QString path = m_dir.filePath(QStringLiteral("bin/") + name);
        if (!QFile::copy(kBinary, path))
            return {};
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                        QFileDevice::ReadOther | QFileDevice::ExeOther);
        if (withCapability) {
            QString log;
            if (!run(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw,cap_net_admin+ep"), path}, &log)) {
                m_error = log;
                return {};
            }
        }
        return path;
    }

    // Starts the program as the user: headless, video detection on, capturing on lo.
    void startAsUser(QProcess& process, const QString& program, const QString& dataFolder)
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(environment);
        const QString data = m_dir.filePath(QStringLiteral("data/") + dataFolder);
        QDir().mkpath(data);
        chown(QFile::encodeName(data).constData(), m_uid, m_gid);
        process.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                       QStringLiteral("--clear-groups"), QStringLiteral("--"), program, QStringLiteral("--headless"),
                       QStringLiteral("--video"), QStringLiteral("--interface"), QStringLiteral("lo"),
                       QStringLiteral("--data-dir"), data});
    }

    static int endCleanly(QProcess& process)
    {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir m_dir;
    QString m_user;
    QString m_error;
    bool m_created = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

TEST_F(UnprivilegedCapture, WithTheCapabilityAUserSeesARequestOnLo)
{
    const QString program = copyProgram(QStringLiteral("trawlix"), true);
    if (program.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI("setcap failed (a file system without capabilities?): " << m_error.toStdString());
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
    QString output;
    const QDeadlineTimer deadline(15000);
    while (!output.contains(address) && !deadline.hasExpired() && trawlix.state() == QProcess::Running) {
        run(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"), address});
        trawlix.waitForReadyRead(500);
        output += QString::fromUtf8(trawlix.readAllStandardOutput());
    }
    const QString errors = QString::fromUtf8(trawlix.readAllStandardError());
    EXPECT_EQ(endCleanly(trawlix), 0);
    EXPECT_TRUE(output.contains(address)) << output.toStdString() << errors.toStdString();
    EXPECT_FALSE(errors.contains(QLatin1String("setcap"))) << errors.toStdString();
}

TEST_F(UnprivilegedCapture, WithoutItTheRunSaysOnceWhatIsMissingAndEndsCleanly)
{
    const QString program = copyProgram(QStringLiteral("trawlix"), false);
    ASSERT_FALSE(program.isEmpty());
    QProcess trawlix;
    startAsUser(trawlix, program, QStringLiteral("missing"));
    ASSERT_TRUE(trawlix.waitForStarted());
    QString errors;
    const QDeadlineTimer deadline(10000);
    while (!errors.contains(QLatin1String("capture ended")) && !deadline.hasExpired()) {
        trawlix.waitForReadyRead(200);
        errors += QString::fromUtf8(trawlix.readAllStandardError());
    }
    EXPECT_EQ(trawlix.state(), QProcess::Running) << "the rest of the program goes on";
    EXPECT_EQ(endCleanly(trawlix), 0);
    errors += QString::fromUtf8(trawlix.readAllStandardError());
    const QString grant = QStringLiteral("sudo setcap cap_net_raw,cap_net_admin+ep ") + program;
    EXPECT_EQ(errors.count(grant), 1) << errors.toStdString();
    EXPECT_EQ(errors.count(QLatin1String("needs the permission to capture network traffic")), 1)
        << errors.toStdString();
}

} // namespace
