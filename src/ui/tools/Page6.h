// The sound recorder window.
#pragma once

#include "tools/RecordJob.h"
#include "tools/RecordSources.h"
#include "ui/tools/DeviceNames.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// The sound recorder: the audio sources by what they record (Sonotrap first; the sound
// system's plugins only with "Show every device"), how to get Sonotrap when it is missing, the
// file format and one button that starts and stops the recording, with the time recorded and
// the sound's level while it runs. The recording lands in "TempRecords/", where the engine's
// recordings importer takes it into the library; the window closes once ffmpeg ends.
class Page6 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page6)

public:
    // The level meter's floor: quieter sound shows as none.
    static constexpr int FloorDb = -60;

    // sources in the order discovery found them (RecordSources::discover()).
    explicit Page6(const QList<AudioSource>& sources, QWidget* parent = nullptr);
    ~Page6() override; // a running recording is stopped and its file finished

    QTreeWidget* deviceList() const { return m_devices; }
    QCheckBox* showAllBox() const { return m_showAll; }
    QLabel* installHint() const { return m_installHint; }
    QComboBox* formatBox() const { return m_format; }
    QPushButton* button() const { return m_button; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QProgressBar* levelMeter() const { return m_level; }
    RecordJob& job() { return *m_job; }
    // The sources in list order (row i of deviceList()).
    const QList<DeviceNames::Entry>& entries() const { return m_entries; }

    // Shows a message to the user; tests replace the message box.
    std::function<void(const QString& text)> message;

    // The words under the list when Sonotrap is not installed.
    static QString installText();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buttonClicked();
    void showAllToggled(bool all);
    void levelChanged(qint64 positionUs, double peakDb);
    QList<AudioSource> checkedSources() const;

    QList<DeviceNames::Entry> m_entries;
    QTreeWidget* m_devices = nullptr;
    QCheckBox* m_showAll = nullptr;
    QLabel* m_installHint = nullptr;
    QComboBox* m_format = nullptr;
    QPushButton* m_button = nullptr;
    QLabel* m_elapsed = nullptr;
    QProgressBar* m_level = nullptr;
    std::unique_ptr<RecordJob> m_job;
};
