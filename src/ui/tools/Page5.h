// The media cutter window.
#pragma once

#include "model/MediaRow.h"
#include "tools/CutJob.h"
#include "tools/KeyframeProbe.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFuture>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>

class MediaBackend;
class QLabel;
class QPushButton;
class SavedNotice;
class SpanSlider;

// The media cutter: a span slider over the selected file, the frame at a moved handle in the
// main window's player, "Play fragment" for the chosen span, and "Cut fragment", which copies
// the span without re-encoding into the documents folder's "Trawlix/" and then says where the
// fragment went ("Saved to ..."). Before cutting, the page shows where the copy will really
// start: the keyframe at or before the chosen start.
class Page5 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page5)

public:
    // media: the row of the table's selection mark. player: the main window's player (may be
    // null: the slider then changes nothing in a player).
    Page5(const MediaRow& media, MediaBackend* player, QWidget* parent = nullptr);
    ~Page5() override; // stops a running cut and the keyframe probe

    // Closing the window ends the keyframe probe (its ffprobe with it); a running cut goes on
    // until the window is destroyed.
    void done(int result) override;

    SpanSlider* slider() const { return m_slider; }
    QLabel* description() const { return m_description; }
    QLabel* keyframeLabel() const { return m_keyframe; }
    QLabel* lengthLabel() const { return m_right; }
    QPushButton* cutButton() const { return m_cut; }
    QPushButton* playButton() const { return m_play; }
    SavedNotice* savedNotice() const { return m_saved; }
    CutJob& job() { return *m_job; }
    qint64 mediaLengthMs() const { return m_lengthMs; }
    const QString& startText() const { return m_startText; }
    const QString& endText() const { return m_endText; }
    const QString& lengthText() const { return m_lengthText; }
    bool keyframesKnown() const { return m_probed; }

    // The slider's handles moved (positions on its 0..10,000 scale).
    void sliderChanged(int start, int end);
    void playFragment();
    void cutFragment();

    // Shows a message to the user; tests replace the message box.
    std::function<void(const QString& text)> message;
    // Where fragments go; empty: the documents folder's "Trawlix/".
    QString outputDir;

private:
    void fragmentTimerFired();
    void showRealStart();
    // Ends the keyframe probe and waits for its thread; no ffprobe of this window runs after.
    void stopProbe();

    MediaRow m_media;
    MediaBackend* m_player = nullptr;
    qint64 m_lengthMs = 0;
    qint64 m_startMs = 0;
    qint64 m_endMs = 0;
    QString m_startText;
    QString m_endText;
    QString m_lengthText;
    KeyframeProbe m_probe;
    bool m_probed = false;
    // The probe runs on a thread of this window, not the shared pool, so that closing the
    // window can end it and wait for it.
    ToolRunner::RunFlag m_probeRun{true};
    QThreadPool m_probePool;
    QFuture<KeyframeProbe> m_probeFuture;
    SpanSlider* m_slider = nullptr;
    QLabel* m_right = nullptr;
    QLabel* m_description = nullptr;
    QLabel* m_keyframe = nullptr;
    QPushButton* m_cut = nullptr;
    QPushButton* m_play = nullptr;
    SavedNotice* m_saved = nullptr;
    // Watches the player while a fragment plays: it pauses at the fragment's end, whenever the
    // player got there (the start may wait for the seek and the decoder).
    QTimer m_fragmentTimer;
    QElapsedTimer m_fragmentClock;
    bool m_fragmentSeen = false; // the player told a time inside the fragment: its seek is done
    std::unique_ptr<CutJob> m_job;
};
