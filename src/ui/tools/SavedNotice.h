// "Saved to ..." under a tool window, with "Open folder" where the desktop has a file manager.
#pragma once

#include "tools/FolderOpener.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

// A line that tells where a tool put its file: "Saved to PATH" with the path selectable, and
// an "Open folder" button only when opening a folder reaches a file manager (never a web
// browser: see FolderOpener). Which program that is, is asked once, in the background, when a
// line is first shown or askHandler() is called; until the answer comes no button shows.
class SavedNotice final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SavedNotice)

public:
    explicit SavedNotice(QWidget* parent = nullptr);
    ~SavedNotice() override;

    // Shows "Saved to path" (a file or, for several files, their folder).
    void showSaved(const QString& path);
    // Shows "Saved N files to folder".
    void showSavedFiles(int count, const QString& folder);
    // Shows text, with "Open folder" for folder.
    void showFolder(const QString& text, const QString& folder);
    QString folder() const { return m_folder; }

    // Asks which program opens folders, once (showing a line asks too).
    void askHandler();
    // Whether folders can be opened; false until the answer is known.
    bool canOpenFolders() const { return m_handlerKnown && m_handler.opensFolders(); }
    bool handlerKnown() const { return m_handlerKnown; }
    // Opens folder in the file manager when there is one; false (and nothing opened) when not.
    bool openFolder(const QString& folder);

    QLabel* label() const { return m_label; }
    QPushButton* openButton() const { return m_open; }

    // Hands a folder to the desktop; tests may replace it (the default runs xdg-open).
    std::function<void(const QString& folder)> reveal;

signals:
    // The file manager question was answered.
    void handlerKnownChanged(bool canOpenFolders);

private:
    void updateButton();

    QLabel* m_label = nullptr;
    QPushButton* m_open = nullptr;
    QString m_folder;
    FolderOpener::Handler m_handler;
    bool m_handlerKnown = false;
    bool m_asked = false;
};
