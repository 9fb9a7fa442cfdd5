// trawlix-capture, the capture helper, run as the program runs it: its command line is checked
// before anything is opened, once open it holds no privilege, and it ends with its reader. The
// tests that open an adapter need root (CI) or skip; its end with its parent, granted the
// capability as an ordinary user, is tested in tests/engine/CapturePermissionTest.cpp.
#include "support/ProcessStatus.h"
#include "support/SkipUnlessCi.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString kHelper = QStringLiteral(TRAWLIX_CAPTURE_HELPER);

struct HelperRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray errors;
};

HelperRun runHelper(const QStringList& arguments)
{
    QProcess process;
    process.start(kHelper, arguments);
    HelperRun run;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}

TEST(CaptureHelper, RefusesEveryMalformedCommandLineWithStatus2AndOneLine)
{
    ASSERT_TRUE(QFileInfo(kHelper).isExecutable()) << kHelper.toStdString();
    const QString i = QStringLiteral("--interface");
    const QString s = QStringLiteral("--snaplen");
    const QString f = QStringLiteral("--filter");
    const QString ok = QStringLiteral("nosuchif0"); // well formed; no such interface here
    struct Row
    {
        QStringList arguments;
        int exitCode; // 2 refused; 1 accepted, then the interface is not there
    };
    const Row rows[] = {
        {{}, 2},
        {{ok}, 2},
        {{i}, 2},
        {{QStringLiteral("-i"), ok}, 2},
        {{QStringLiteral("--interface=nosuchif0")}, 2},
        {{i, ok, i, ok}, 2},
        {{i, ok, QStringLiteral("extra")}, 2},
        {{i, ok, s, QStringLiteral("100"), s, QStringLiteral("100")}, 2},
        {{i, ok, f, QStringLiteral("tcp"), f, QStringLiteral("udp")}, 2},
        {{i, ok, s, QStringLiteral("100"), f, QStringLiteral("tcp"), QStringLiteral("x")}, 2},
        // Interface names: 1 to 15 characters of letters, digits, '.', '_' and '-'.
        {{i, QStringLiteral("abcdefghijklmno")}, 1},
        {{i, QStringLiteral("abcdefghijklmnop")}, 2},
        {{i, QStringLiteral("eth0.100")}, 1},
        {{i, QStringLiteral("br-1a_2")}, 1},
        {{i, QString()}, 2},
        {{i, QStringLiteral("../lo")}, 2},
        {{i, QStringLiteral("lo/x")}, 2},
        {{i, QStringLiteral(".")}, 2},
        {{i, QStringLiteral("..")}, 2},
        {{i, QStringLiteral("-lo")}, 2},
        {{i, QStringLiteral("lo;id")}, 2},
        {{i, QStringLiteral("lo ")}, 2},
        {{i, QStringLiteral("lo\n")}, 2},
        {{i, QStringLiteral("wlan0:1")}, 2},
        {{i, QStringLiteral("lö")}, 2},
        // Snapshot lengths: 64 to 262144, plain decimal.
        {{i, ok, s, QStringLiteral("64")}, 1},
        {{i, ok, s, QStringLiteral("262144")}, 1},
        {{i, ok, s, QStringLiteral("63")}, 2},
        {{i, ok, s, QStringLiteral("262145")}, 2},
        {{i, ok, s, QStringLiteral("0")}, 2},
        {{i, ok, s, QStringLiteral("-1")}, 2},
        {{i, ok, s, QStringLiteral("+100")}, 2},
        {{i, ok, s, QStringLiteral("0100")}, 2},
        {{i, ok, s, QStringLiteral("0x100")}, 2},
        {{i, ok, s, QStringLiteral("100k")}, 2},
        {{i, ok, s, QStringLiteral(" 100")}, 2},
        {{i, ok, s, QStringLiteral("18446744073709551716")}, 2},
        {{i, ok, s, QString()}, 2},
        // Filters: printable, at most 1024 characters, and one that compiles.
        {{i, ok, f, QStringLiteral("tcp port 80 or tcp port 8080")}, 1},
        {{i, ok, f, QStringLiteral("tcp") + QString(1021, u' ')}, 1}, // 1024 characters
        {{i, ok, f, QStringLiteral("tcp") + QString(1022, u' ')}, 2},
        {{i, ok, f, QString()}, 2},
        {{i, ok, f, QStringLiteral("tcp port")}, 2},
        {{i, ok, f, QStringLiteral("port 99999")}, 2},
        {{i, ok, f, QStringLiteral("no such primitive")}, 2},
        {{i, ok, f, QStringLiteral("tcp\nor udp")}, 2},
        {{i, ok, f, QStringLiteral("tcp\x1b")}, 2},
        {{i, ok, f, QStringLiteral("host é")}, 2},
    };
    for (const Row& row : rows) {
        const HelperRun run = runHelper(row.arguments);
        const std::string shown = row.arguments.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(run.exitCode, row.exitCode) << shown << ": " << run.errors.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << shown;
        EXPECT_TRUE(run.errors.startsWith("trawlix-capture: ")) << shown << ": " << run.errors.toStdString();
        EXPECT_EQ(run.errors.count('\n'), 1) << shown << ": " << run.errors.toStdString();
        EXPECT_TRUE(run.errors.endsWith('\n')) << shown;
        if (row.exitCode == 1) {
            EXPECT_TRUE(run.errors.contains("no such network interface")) << shown << run.errors.toStdString();
        }
    }
}

class OpenHelper : public testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            TRAWLIX_SKIP_UNLESS_CI("opening lo for capture needs root here");
    }

    // Starts the helper on lo and waits for the stream's header.
    bool startOnLo(QProcess& process)
    {
        process.start(kHelper, {QStringLiteral("--interface"), QStringLiteral("lo")});
        if (!process.waitForStarted())
            return false;
        return QTest::qWaitFor([&] { return process.bytesAvailable() >= 24 || process.state() != QProcess::Running; },
                               10000) &&
               process.bytesAvailable() >= 24;
    }
};

TEST_F(OpenHelper, HoldsNoPrivilegeOnceOpenAndStillDeliversFrames)
{
    QProcess helper;
    ASSERT_TRUE(startOnLo(helper)) << helper.readAllStandardError().toStdString();
    const QByteArray header = helper.read(24);
    EXPECT_EQ(header.left(4), QByteArray::fromHex("d4c3b2a1")); // pcap, this machine's byte order
    const qint64 pid = helper.processId();
    for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
        EXPECT_EQ(ProcessStatus::value(pid, set), QByteArray("0000000000000000")) << set;
    EXPECT_EQ(ProcessStatus::value(pid, "NoNewPrivs"), QByteArray("1"));

    // The open socket keeps capturing without any capability.
    QUdpSocket socket;
    const QByteArray marker = QByteArrayLiteral("trawlix-capture-marker");
    QByteArray stream;
    const QDeadlineTimer deadline(10000);
    while (!stream.contains(marker) && !deadline.hasExpired()) {
        socket.writeDatagram(marker, QHostAddress::LocalHost, 9);
        helper.waitForReadyRead(200);
        stream += helper.readAllStandardOutput();
    }
    EXPECT_TRUE(stream.contains(marker));
}

// A frame on lo can be 65,549 bytes (a 65,536-byte MTU and the link header); one cut short
// leaves a hole in its TCP stream that ends the decoding of the whole connection.
TEST_F(OpenHelper, KeepsTheLargestLoopbackFrameWhole)
{
    QProcess helper;
    ASSERT_TRUE(startOnLo(helper)) << helper.readAllStandardError().toStdString();
    QByteArray stream = helper.read(24);
    QUdpSocket socket;
    const QByteArray datagram = QByteArrayLiteral("trawlix-capture-large") + QByteArray(65507 - 21, 'x');
    const auto le32 = [](const QByteArray& bytes, qsizetype at) {
        return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 | quint32(quint8(bytes[at + 2])) << 16 |
               quint32(quint8(bytes[at + 3])) << 24;
    };
    quint32 captured = 0;
    quint32 length = 0;
    qsizetype at = 24;
    const QDeadlineTimer deadline(10000);
    while (length < quint32(datagram.size()) && !deadline.hasExpired()) {
        ASSERT_EQ(socket.writeDatagram(datagram, QHostAddress::LocalHost, 9), datagram.size());
        helper.waitForReadyRead(200);
        stream += helper.readAllStandardOutput();
        // Walks the records: 16 bytes of header (time, captured length, wire length), then data.
        while (at + 16 <= stream.size()) {
            const quint32 caplen = le32(stream, at + 8);
            if (at + 16 + caplen > quint32(stream.size()))
                break;
            if (le32(stream, at + 12) > length) {
                length = le32(stream, at + 12);
                captured = caplen;
            }
            at += 16 + caplen;
        }
    }
    EXPECT_GE(length, quint32(datagram.size() + 28));
    EXPECT_EQ(captured, length) << "the frame was cut to " << captured << " bytes";
}

// The reader takes the header and closes its end: the helper ends at once, with traffic (by
// SIGPIPE, status 141 in the shell) or without (it sees the closed pipe, status 0).
TEST_F(OpenHelper, EndsWhenItsReaderCloses)
{
    QProcess pipeline;
    pipeline.start(QStringLiteral("/bin/bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("\"$0\" --interface lo | head -c 24 > /dev/null; echo \"${PIPESTATUS[0]}\""),
                    kHelper});
    ASSERT_TRUE(pipeline.waitForFinished(5000)) << "the helper went on writing to nobody";
    const QByteArray status = pipeline.readAllStandardOutput().trimmed();
    EXPECT_TRUE(status == "0" || status == "141")
        << status.toStdString() << pipeline.readAllStandardError().toStdString();
}

} // namespace
