#include "download/DownloadRows.h"
#include "download/HeadlessDownloadList.h"
#include "support/RecordingDownloadList.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(DownloadRows, TopRowsProgressAndRemoval)
{
    VideoFileArray records;
    RecordingDownloadList list;
    DownloadRows rows(records);
    rows.setView(&list);

    EXPECT_TRUE(rows.insert(0, u"first"_qs, u"100"_qs));
    EXPECT_TRUE(rows.insert(1, u"second"_qs, u"101"_qs));
    EXPECT_FALSE(rows.insert(1, u"again"_qs, u"101"_qs)); // one row per record
    EXPECT_TRUE(rows.isTop(1));
    EXPECT_FALSE(rows.isTop(0));

    // Repeated texts are not forwarded: a view sees each change once.
    for (const char* text : {"1%", "1%", "2%", "2%", "Live"})
        EXPECT_TRUE(rows.setProgress(0, QString::fromLatin1(text), rows.nextProgressOrder()));
    EXPECT_EQ(list.progressOf(0), (QStringList{u"1%"_qs, u"2%"_qs, u"Live"_qs}));
    EXPECT_FALSE(rows.setProgress(7, u"5%"_qs, rows.nextProgressOrder())); // no such row: nothing happens
    EXPECT_TRUE(list.progressOf(7).isEmpty());

    // Two parts count 47% and then 100%, but the first one's report arrives last: it is older
    // than what is shown and is dropped.
    const quint64 earlier = rows.nextProgressOrder();
    const quint64 later = rows.nextProgressOrder();
    EXPECT_TRUE(rows.setProgress(1, u"100%"_qs, later));
    EXPECT_FALSE(rows.setProgress(1, u"47%"_qs, earlier));
    EXPECT_EQ(list.progressOf(1), QStringList{u"100%"_qs});

    EXPECT_TRUE(rows.remove(1));
    EXPECT_FALSE(rows.remove(1));
    EXPECT_TRUE(rows.remove(0));
    EXPECT_EQ(list.events(), (QStringList{u"show"_qs, u"insert 0 first 0% 100"_qs, u"insert 1 second 0% 101"_qs,
                                          u"remove 1"_qs, u"remove 0"_qs, u"hide"_qs}));
}

TEST(DownloadRows, CancelGivesTheAddressBack)
{
    VideoFileArray records;
    VideoFile record;
    record.state = VideoFile::State::Old;
    record.url = u"http://127.0.0.1/v.mp4"_qs;
    record.totalBytes = 5000;
    record.baseName = u"100"_qs;
    records.append(record);
    RecordingDownloadList list;
    DownloadRows rows(records);
    rows.setView(&list);
    rows.insert(0, record.url, record.baseName);

    rows.cancel(0);
    const VideoFile after = records.at(0).value();
    EXPECT_EQ(after.state, VideoFile::State::Canceled);
    EXPECT_EQ(after.totalBytes, 0);
    EXPECT_FALSE(rows.contains(0));
    EXPECT_EQ(list.captions(), QStringList{u"Trawlix"_qs});
}

TEST(HeadlessDownloadList, PrintsOneLinePerChange)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    std::FILE* out = std::fopen(file.fileName().toLocal8Bit().constData(), "w");
    ASSERT_NE(out, nullptr);
    {
        VideoFileArray records;
        HeadlessDownloadList list(out);
        DownloadRows rows(records);
        rows.setView(&list);
        rows.insert(3, u"http://127.0.0.1/v.mp4"_qs, u"1700000000"_qs);
        rows.setCaption(u"Detected media file"_qs);
        rows.setProgress(3, u"50%"_qs, rows.nextProgressOrder());
        rows.setCaption(u"50%..Downloading"_qs);
        rows.setName(3, u"Кошка"_qs);
        rows.remove(3);
    }
    std::fclose(out);
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines,
              (QStringList{u"download 3 [1700000000]: http://127.0.0.1/v.mp4 0%"_qs, u"caption: Detected media file"_qs,
                           u"download 3: 50%"_qs, u"download 3: title Кошка"_qs, u"download 3: removed"_qs}));
}

} // namespace
