// `trawlix --record` end to end: the built program records through the built Sonotrap plugin
// from a sound server the test starts, and imports the recording, together with one an earlier
// run left behind, into the library before it exits.
#include "SoundServer.h"
#include "WavFile.h"
#include "support/BuiltProgram.h"
#include "support/SkipUnlessCi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Turns a finished WAV file into what a killed ffmpeg leaves: the placeholder sizes it writes
// before the first sample.
void forgetSizes(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype data = bytes.indexOf("data");
    ASSERT_GT(data, 0);
    bytes.replace(4, 4, QByteArray(4, '\xff'));
    bytes.replace(data + 4, 4, QByteArray(4, '\xff'));
    file.seek(0);
    file.write(bytes);
}

double secondsOf(const QString& path, const QTemporaryDir& dir)
{
    const std::string wav = dir.filePath(QStringLiteral("measure.wav")).toStdString();
    runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", path.toStdString(), "-y", wav});
    return WavFile::read(wav).seconds;
}

struct RecordCase
{
    const char* format;
};

class RecordCommand : public ::testing::TestWithParam<RecordCase>
{
};

TEST_P(RecordCommand, RecordsImportsAndImportsWhatAnEarlierRunLeft)
{
    if (!BuiltProgram::built())
        TRAWLIX_SKIP_UNLESS_CI("the trawlix program is not built (TRAWLIX_BUILD_GUI=OFF)");
    if (!SoundServer::installed()) {
        if (SoundServer::requiredByCi())
            FAIL() << "pulseaudio is not installed, and CI needs this test";
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    QTemporaryDir dir;
    SoundServer server(dir.filePath(QStringLiteral("pulse")).toStdString());
    ASSERT_TRUE(server.start()) << server.error();
    BuiltProgram trawlix(dir.filePath(QStringLiteral("trawlix")), BuiltProgram::Mode::Desktop);
    const QString data = trawlix.dataDir();
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/TempRecords")));
    const QString leftover = data + QStringLiteral("/TempRecords/1600000000.wav");
    ASSERT_EQ(runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "sine=duration=1.5", "-y",
                          leftover.toStdString()})
                  .exitCode,
              0);
    forgetSizes(leftover);

    trawlix.setEnvironment(QStringLiteral("ALSA_CONFIG_PATH"),
                           QString::fromStdString(server.alsaConfig(SONOTRAP_PLUGIN)));
    const BuiltProgram::Run run = trawlix.run({QStringLiteral("--record"), QStringLiteral("2"),
                                               QStringLiteral("--format"), QString::fromLatin1(GetParam().format)});
    const QString output = QString::fromUtf8(run.out + run.err);
    ASSERT_EQ(run.exitCode, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("library: Audio Record "))) << output.toStdString();

    EXPECT_TRUE(QDir(data + QStringLiteral("/TempRecords")).isEmpty()) << "both recordings left the folder";
    const QFileInfoList library = QDir(data + QStringLiteral("/Videos")).entryInfoList(QDir::Files, QDir::Name);
    ASSERT_EQ(library.size(), 2);
    std::vector<double> seconds;
    for (const QFileInfo& file : library)
        seconds.push_back(secondsOf(file.filePath(), dir));
    std::sort(seconds.begin(), seconds.end());
    EXPECT_NEAR(seconds.at(0), 1.5, 0.05) << "a recording whose ffmpeg was killed plays to its end";
    EXPECT_NEAR(seconds.at(1), 2.0, 0.15) << "the new recording";
}

INSTANTIATE_TEST_SUITE_P(Formats,
                         RecordCommand,
                         ::testing::Values(RecordCase{"mp3"}, RecordCase{"wav"}),
                         [](const ::testing::TestParamInfo<RecordCase>& row) { return std::string(row.param.format); });

} // namespace
