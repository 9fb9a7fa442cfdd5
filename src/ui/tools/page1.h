// The stream information window of one file.
#pragma once

#include <QDialog>

class QTreeWidget;

// The stream information window: a tree with the file's video and audio streams as ffprobe
// describes them. ffprobe runs while the window is built, so the window opens filled.
class page1 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(page1)

public:
    // title, format and path are the media table row's title, format column and full path.
    page1(const QString& title, const QString& format, const QString& path, QWidget* parent = nullptr);
    ~page1() override;

    QTreeWidget* tree() const { return m_tree; }

private:
    QTreeWidget* m_tree;
};
