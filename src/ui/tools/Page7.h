// The link downloader window.
#pragma once

#include "tools/LinkDownloadJob.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The link downloader: the page address, "Download!"/"Abort", and for playlists of the video
// site the item selection and audio only. yt-dlp writes into "TempDownloads/", where the
// engine's link-download importer takes each finished file into the library. Several windows
// may run at once; "Another link" opens one more. A run that succeeds closes the window; one
// that fails keeps it open with the reason in the status field.
class Page7 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page7)

public:
    // The address shown as an example in the frame caption.
    static QString exampleAddress();
    // The index field's placeholder text.
    static QString indexPlaceholder();

    explicit Page7(QWidget* parent = nullptr);
    ~Page7() override; // a running download is aborted

    QLineEdit* addressField() const { return m_address; }
    QGroupBox* frame() const { return m_frame; }
    QPushButton* mainButton() const { return m_button; }
    QPushButton* anotherButton() const { return m_another; }
    QLabel* statusLabel() const { return m_statusLabel; }
    QPlainTextEdit* statusField() const { return m_status; }
    QLabel* picture() const { return m_picture; }
    QGroupBox* playlistGroup() const { return m_playlist; }
    QCheckBox* itemsBox() const { return m_itemsBox; }
    QLineEdit* indexField() const { return m_indexes; }
    QCheckBox* audioBox() const { return m_audioBox; }
    LinkDownloadJob& job() { return *m_job; }

    // Opens a further downloader window; the main window sets it, tests replace it.
    std::function<void()> openAnother;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setIdle();
    void playlistTest();
    void itemsToggled(bool checked);
    void buttonClicked();
    void startDownload();
    void jobFinished(const LinkDownloadJob::Result& result);
    void showRunning(bool running);

    QGroupBox* m_frame = nullptr;
    QLineEdit* m_address = nullptr;
    QPushButton* m_button = nullptr;
    QPushButton* m_another = nullptr;
    QLabel* m_statusLabel = nullptr;
    QPlainTextEdit* m_status = nullptr;
    QLabel* m_picture = nullptr;
    QGroupBox* m_playlist = nullptr;
    QCheckBox* m_itemsBox = nullptr;
    QLabel* m_indexLabel = nullptr;
    QLineEdit* m_indexes = nullptr;
    QLabel* m_explanation = nullptr;
    QLabel* m_playlistPicture = nullptr;
    QCheckBox* m_audioBox = nullptr;
    std::unique_ptr<LinkDownloadJob> m_job;
    bool m_running = false;
};
