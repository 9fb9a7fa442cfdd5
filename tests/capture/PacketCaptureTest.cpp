#include "capture/PacketCapture.h"
#include "support/FrameBuilder.h"
#include "support/PcapFileWriter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PacketCapture, HandedLengthIsTheWireLengthModulo65536WithinTheCapturedBytes)
{
    struct Row
    {
        quint32 wire;
        quint32 captured;
        quint16 handed;
    };
    for (const Row row : {Row{100, 100, 100}, Row{65535, 65535, 65535}, Row{65536, 65536, 0}, Row{70000, 65536, 4464},
                          Row{65540, 65536, 4}, Row{1500, 96, 96}, Row{0, 0, 0}}) {
        SCOPED_TRACE(row.wire);
        EXPECT_EQ(PacketCapture::handedLength(row.wire, row.captured), row.handed);
    }
}

TEST(PacketCapture, PseudoDevicesAreSkipped)
{
    for (const char* name :
         {"any", "nflog", "nfqueue", "dbus-system", "dbus-session", "bluetooth-monitor", "bluetooth0", "usbmon1"})
        EXPECT_TRUE(PacketCapture::isPseudoDevice(QLatin1String(name))) << name;
    for (const char* name : {"eth0", "lo", "wlan0", "enp3s0", "ifb0", "anyother"})
        EXPECT_FALSE(PacketCapture::isPseudoDevice(QLatin1String(name))) << name;
}

class CaptureFile : public testing::Test
{
protected:
    // Reads the file to its end and returns the frames handed on.
    std::vector<QByteArray> readAll(const QString& path, bool monitoring, PacketCapture::Outcome& outcome)
    {
        std::atomic<bool> switchOn{monitoring};
        std::vector<QByteArray> frames;
        PacketCapture capture(
            {path, {}},
            [&](const quint8* frame, quint16 length) {
                frames.emplace_back(reinterpret_cast<const char*>(frame), length);
            },
            switchOn);
        capture.start();
        EXPECT_TRUE(capture.wait(10000));
        outcome = capture.outcome();
        return frames;
    }

    QTemporaryDir m_dir;
};

TEST_F(CaptureFile, HandsOnEveryFrameInOrderWhileTheSwitchIsOn)
{
    const QString path = m_dir.filePath(QStringLiteral("a.pcap"));
    {
        PcapFileWriter writer(path, FrameBuilder::linkType(FrameBuilder::Link::LinuxCooked));
        for (int i = 0; i < 5; ++i) {
            writer.write(FrameBuilder::frame(
                {1000, 80, quint32(i), QByteArray(10 * i, 'a'), 0, FrameBuilder::Link::LinuxCooked}));
        }
        // A frame cut by the snapshot length: only the captured bytes are handed on.
        writer.write(QByteArray(64, 'z'), 70000);
    }
    PacketCapture::Outcome outcome{};
    const std::vector<QByteArray> frames = readAll(path, true, outcome);
    EXPECT_EQ(outcome, PacketCapture::Outcome::EndOfFile);
    ASSERT_EQ(frames.size(), 6u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(frames[size_t(i)].size(), 56 + 10 * i);
    EXPECT_EQ(frames[5], QByteArray(64, 'z'));

    const std::vector<QByteArray> dropped = readAll(path, false, outcome);
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(outcome, PacketCapture::Outcome::EndOfFile);
}

TEST_F(CaptureFile, UnreadableFileEndsQuietly)
{
    for (const QByteArray& content : {QByteArray(), QByteArray("not a capture file at all")}) {
        const QString path = m_dir.filePath(QStringLiteral("bad.pcap"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        PacketCapture::Outcome outcome{};
        EXPECT_TRUE(readAll(path, true, outcome).empty());
        EXPECT_EQ(outcome, PacketCapture::Outcome::FileUnreadable);
    }
    PacketCapture::Outcome outcome{};
    EXPECT_TRUE(readAll(m_dir.filePath(QStringLiteral("missing.pcap")), true, outcome).empty());
    EXPECT_EQ(outcome, PacketCapture::Outcome::FileUnreadable);
}

} // namespace
