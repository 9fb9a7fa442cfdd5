// What this program is: version, licence, where its data lives.
#pragma once

#include <QDialog>

class QLabel;
class SavedNotice;

// The About window: the program's name and version, its licence, and the data folder in use
// (selectable, with "Open folder" where the desktop has a file manager).
class AboutWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    explicit AboutWindow(QWidget* parent = nullptr);
    ~AboutWindow() override;

    // Opens the window over parent (one window, raised when it is open already).
    static AboutWindow* open(QWidget* parent);
    // "0.1.0": the version this program was built as.
    static QString version();

    QLabel* versionLabel() const { return m_version; }
    QLabel* licenceLabel() const { return m_licence; }
    SavedNotice* dataFolder() const { return m_dataFolder; }

private:
    QLabel* m_version = nullptr;
    QLabel* m_licence = nullptr;
    SavedNotice* m_dataFolder = nullptr;
};
