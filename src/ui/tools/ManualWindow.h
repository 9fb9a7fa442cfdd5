// The manual, read from the installed copy.
#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTextBrowser;

// The user's manual in a window of its own: the HTML file the package installs, shown by the
// program itself, so that help works offline and opens no browser. Links to other places are
// not followed. "About Trawlix" opens the About window.
class ManualWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ManualWindow)

public:
    explicit ManualWindow(QWidget* parent = nullptr);
    ~ManualWindow() override;

    // Opens the manual over parent (one window, raised when it is open already).
    static ManualWindow* open(QWidget* parent);

    // Where the manual may be, first found wins: beside the program ("../share/doc/trawlix/",
    // installed or in the build tree), then the system's documentation folders.
    static QStringList candidates();
    // The manual's path; empty when it is nowhere.
    static QString manualPath();

    QTextBrowser* browser() const { return m_browser; }
    QPushButton* aboutButton() const { return m_about; }

private:
    QTextBrowser* m_browser = nullptr;
    QPushButton* m_about = nullptr;
};
