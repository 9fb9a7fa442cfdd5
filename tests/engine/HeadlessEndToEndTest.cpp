#include "support/BuiltProgram.h"
#include "support/MediaFixture.h"
#include "support/SkipUnlessCi.h"
#include "support/TestSite.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The server's port: 8080, one the frame analyser knows, or any other (0: a free one), which
// the decoder of reassembled connections reads.
class HeadlessEndToEnd : public ::testing::TestWithParam<quint16>
{
};

// A real client fetches a video from nginx through "lo" while `trawlix --headless` captures;
// the program detects the request, probes it and downloads it in four parts which together
// hold exactly the server's bytes (checked in the library file the assembly copies them to).
TEST_P(HeadlessEndToEnd, CapturedVideoIsDownloadedInFourParts)
{
    if (const QString missing = BuiltProgram::missingForLiveCapture(); !missing.isEmpty())
        TRAWLIX_SKIP_UNLESS_CI(missing.toStdString());

    QTemporaryDir root;
    TestSite site(root.filePath(QStringLiteral("site")));
    // The video: real media made by ffmpeg, large enough to be accepted (50000 bytes).
    ASSERT_TRUE(MediaFixture::makeVideoClip(site.path(QStringLiteral("clip.mp4")), 4, QStringLiteral("320x240")));
    const QByteArray served = site.read(QStringLiteral("clip.mp4"));
    ASSERT_GE(served.size(), 50000);

    // Another test may hold 8080 for a while (the live capture test); wait for it.
    site.setPort(GetParam());
    if (!site.start(30000))
        TRAWLIX_SKIP_UNLESS_CI("nginx could not listen on 127.0.0.1: " << site.error().toStdString());

    BuiltProgram trawlix(root.filePath(QStringLiteral("trawlix")));
    trawlix.traceOn(); // to see the parts finish
    trawlix.setSetting(QStringLiteral("downloadhttp"), QStringLiteral("true"));
    trawlix.setSetting(QStringLiteral("accelerator"), QStringLiteral("true"));
    trawlix.setSetting(QStringLiteral("mp4"), QStringLiteral("true"));
    // A plain copy into the library, so its bytes can be compared with the server's.
    trawlix.setSetting(QStringLiteral("repairvideos"), QStringLiteral("false"));
    ASSERT_TRUE(trawlix.startCapture()) << trawlix.output().constData();

    QProcess client;
    client.start(QStringLiteral("curl"),
                 {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-H"),
                  QStringLiteral("Referer: http://127.0.0.1/page.html"), site.url(QStringLiteral("/clip.mp4"))});
    ASSERT_TRUE(client.waitForFinished(30000));

    const QString clip = site.url(QStringLiteral("/clip.mp4"));
    const bool placed = trawlix.waitForDownload(clip, 30000);
    trawlix.stop();
    const QByteArray output = trawlix.output();
    ASSERT_TRUE(placed) << output.constData();
    for (int part = 1; part <= 4; ++part)
        EXPECT_TRUE(output.contains("Partial download finished SUCSESSFULLY, PART = " + QByteArray::number(part)))
            << "part " << part << "\n"
            << output.constData();

    const QString base = BuiltProgram::downloadBase(output, clip);
    ASSERT_FALSE(base.isEmpty()) << output.constData();
    // The assembly joins the four parts in order, copies the result into the library and removes
    // the parts: the library file must be there with the server's bytes, whatever the parts did.
    const QString library = trawlix.data(QStringLiteral("Videos/") + base + QStringLiteral(".mp4"));
    ASSERT_TRUE(QFileInfo::exists(library)) << "no library file " << library.toStdString() << "\n"
                                            << output.constData();
    const QByteArray stored = trawlix.readData(QStringLiteral("Videos/") + base + QStringLiteral(".mp4"));
    EXPECT_EQ(stored.size(), served.size()) << output.constData();
    EXPECT_TRUE(stored == served);
    for (int part = 1; part <= 4; ++part)
        EXPECT_FALSE(QFileInfo::exists(trawlix.data(QStringLiteral("Temp/") + base + QStringLiteral("_%1").arg(part))))
            << "part " << part << " was left in Temp/";
}

INSTANTIATE_TEST_SUITE_P(Ports,
                         HeadlessEndToEnd,
                         ::testing::Values(quint16(8080), quint16(0)),
                         [](const ::testing::TestParamInfo<quint16>& row) {
                             return row.param ? "Port" + std::to_string(row.param) : std::string("AnotherPort");
                         });

} // namespace
