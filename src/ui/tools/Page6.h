// The sound recorder window.
#pragma once

#include "tools/RecordJob.h"
#include "tools/RecordSources.h"

#include <QDialog>

#include <functional>
#include <memory>

class QComboBox;
class QPushButton;
class QTreeWidget;

// The sound recorder: the audio sources with their check boxes, the file format and one
// button that starts and stops the recording. The recording lands in "TempRecords/", where the
// engine's recordings importer takes it into the library; the window closes once ffmpeg ends.
class Page6 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page6)

public:
    // sources in the order the list shows them (RecordSources::discover()).
    explicit Page6(const QList<AudioSource>& sources, QWidget* parent = nullptr);
    ~Page6() override; // a running recording is stopped and its file finished

    QTreeWidget* deviceList() const { return m_devices; }
    QComboBox* formatBox() const { return m_format; }
    QPushButton* button() const { return m_button; }
    RecordJob& job() { return *m_job; }

    // Shows a message to the user; tests replace the message box.
    std::function<void(const QString& text)> message;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buttonClicked();
    QList<AudioSource> checkedSources() const;

    QList<AudioSource> m_sources;
    QTreeWidget* m_devices = nullptr;
    QComboBox* m_format = nullptr;
    QPushButton* m_button = nullptr;
    std::unique_ptr<RecordJob> m_job;
};
