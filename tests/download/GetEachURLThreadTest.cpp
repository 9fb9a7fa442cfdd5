#include "download/DownloadRows.h"
#include "download/DownloadWorkers.h"
#include "engine/Engine.h"
#include "support/DownloadTestBed.h"
#include "support/FaultServer.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// The engine's probe thread picks up records appended while it runs, downloads them through
// the engine's workers and reports completion through the hook, once per record.
TEST(GetEachURLThread, ProbesRecordsAppendedWhileRunning)
{
    DownloadTestBed bed; // data folder, texts and settings
    FaultServer server;
    ASSERT_TRUE(server.start());
    FaultServer::Route route;
    route.body = DownloadTestBed::randomBytes(300000, 21);
    server.setRoute("/a.mp4", route);
    route.body = DownloadTestBed::randomBytes(300001, 22);
    server.setRoute("/b.mp4", route);

    RecordingDownloadList list;
    std::atomic<int> completions{0};
    {
        Engine engine;
        engine.setDownloadList(&list);
        engine.setDownloadTimeouts(bed.workers->timeouts());
        engine.setAssemblyHook([&](qsizetype index) {
            ++completions;
            engine.downloadRows().remove(index);
        });
        engine.startProbe();
        for (const char* path : {"/a.mp4", "/b.mp4"}) {
            VideoFile record;
            record.state = VideoFile::State::New;
            record.url = server.url(QString::fromLatin1(path));
            record.baseName = QString::number(1700001000 + engine.videoFiles().size());
            record.extension = u".mp4"_qs;
            engine.videoFiles().append(record);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return completions >= 2; }, 20000));
        EXPECT_EQ(completions.load(), 2);
        for (qsizetype i = 0; i < 2; ++i)
            EXPECT_EQ(engine.videoFiles().at(i)->state, VideoFile::State::Old);
        engine.setDownloadList(nullptr);
    }
    EXPECT_EQ(bed.readTemp(u"1700001000_1"_qs).size(), 75001);
    EXPECT_EQ(bed.readTemp(u"1700001001_4"_qs).size(), 75000);
}

} // namespace
