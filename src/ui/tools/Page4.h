// The media converter window.
#pragma once

#include "tools/ConversionProfiles.h"
#include "tools/ConvertJob.h"

#include <QDialog>
#include <QTime>

#include <array>
#include <functional>
#include <memory>

class ConvertGears;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class SavedNotice;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The converter: the profile tree from "profiles.xml", the eight parameter lists, the output
// folder, the files with their output names, the cut range (one file) and the video effect
// (when this ffmpeg has frei0r), and "Convert", which becomes "Skip" while a file converts
// (with several files) beside "Cancel", which ends the run. The conversion itself is the core's
// ConvertJob; progress shows in a progress bar, the window title and the gears, and the end
// says where the files went ("Saved to ...").
class Page4 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page4)

public:
    struct Row
    {
        QString title;
        QString path;
        QString duration; // "HH:MM:SS"
    };

    explicit Page4(const QList<Row>& rows,
                   const QString& profilesPath = ProfileStore::defaultPath(),
                   QWidget* parent = nullptr);
    ~Page4() override; // a running conversion is stopped and its partial file removed

    // Fills the file list again (only while no conversion runs).
    void setRows(const QList<Row>& rows);
    bool converting() const;

    // Answers a Yes/No question; tests replace the message box.
    std::function<bool(const QString& question)> confirm;
    // Shows a message; tests replace the message box.
    std::function<void(const QString& text)> message;
    // Chooses the output folder; empty: cancelled. Tests replace the folder dialog.
    std::function<QString()> chooseFolder;

    // For tests.
    QTreeWidget* tree() const { return m_tree; }
    QTreeWidget* fileList() const { return m_files; }
    QComboBox* list(ParamList which) const { return m_lists.at(static_cast<int>(which)); }
    QCheckBox* useDefaults() const { return m_useDefaults; }
    QCheckBox* cutBox() const { return m_cut; }
    QTimeEdit* cutFrom() const { return m_from; }
    QTimeEdit* cutTo() const { return m_to; }
    QCheckBox* effectBox() const { return m_effect; }
    QComboBox* effectList() const { return m_effects; }
    QPushButton* convertButton() const { return m_convert; }
    QPushButton* changeButton() const { return m_change; }
    QPushButton* openFolderButton() const { return m_openFolder; }
    QLabel* noticeLabel() const { return m_notice; }
    QLabel* statusLabel() const { return m_status; }
    QProgressBar* progressBar() const { return m_progress; }
    QPushButton* cancelButton() const { return m_cancel; }
    SavedNotice* savedNotice() const { return m_saved; }
    ConvertGears* gears() const { return m_gears; }
    QWidget* videoGroup() const { return m_videoGroup; }
    QString outputFolder() const { return m_folder; }
    bool audioOnly() const { return m_audioOnly; }
    ConvertJob& job() { return *m_job; }
    const ProfileSet& profiles() const { return m_load.set; }
    // The parameters the lists and boxes hold now.
    ConvertJob::Settings settings() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildTree();
    void selectItem(QTreeWidgetItem* item);
    void loadParameters();
    void fillList(ParamList which, const ParamChoice& choice);
    void videoCodecChanged();
    void changeFolder();
    void openFolder();
    void convertClicked();
    void setBusy(bool busy);
    void showStatus(const QString& text);
    void fileStarted(const QString& outputName);
    void fileFinished(const ConvertJob::FileResult& result);
    void runFinished();
    void fromChanged(const QTime& time);
    void toChanged(const QTime& time);
    int durationSeconds() const;
    bool askOverwrite(const QString& output);

    QString m_profilesPath;
    ProfileLoad m_load;
    int m_profile = -1;
    QString m_folder;
    QString m_extension;
    bool m_audioOnly = false;
    bool m_filling = false;
    bool m_effectsAvailable = false;
    bool m_autoOpenFolder = false; // read when the window opens
    QList<Row> m_rows;
    QString m_lastOutput;
    QStringList m_errors;
    int m_converted = 0;
    QTime m_acceptedFrom;
    QTime m_acceptedTo;

    QLabel* m_notice = nullptr;
    QTreeWidget* m_tree = nullptr;
    QCheckBox* m_useDefaults = nullptr;
    std::array<QComboBox*, ParamListCount> m_lists{};
    QWidget* m_videoGroup = nullptr;
    QGroupBox* m_parameters = nullptr;
    QGroupBox* m_location = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_change = nullptr;
    QPushButton* m_openFolder = nullptr;
    QTreeWidget* m_files = nullptr;
    QWidget* m_cutRow = nullptr;
    QCheckBox* m_cut = nullptr;
    QTimeEdit* m_from = nullptr;
    QTimeEdit* m_to = nullptr;
    QWidget* m_effectRow = nullptr;
    QCheckBox* m_effect = nullptr;
    QComboBox* m_effects = nullptr;
    QPushButton* m_convert = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    SavedNotice* m_saved = nullptr;
    ConvertGears* m_gears = nullptr;
    bool m_cancelled = false;
    std::unique_ptr<ConvertJob> m_job;
    std::shared_ptr<std::atomic<bool>> m_closing;
};
