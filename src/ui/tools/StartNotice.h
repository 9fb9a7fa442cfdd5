// What the program says once at its start (permissions, detection off, HTTPS keys).
#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;

// The start notices in one window. Words wrap; a command to type ("sudo setcap ... PATH") stays
// on one line in a field of its own, in a fixed-width font, so that it can be read and copied
// whole: a path never breaks in the middle.
class StartNotice final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StartNotice)

public:
    StartNotice(const QStringList& notices, QWidget* parent = nullptr);
    ~StartNotice() override;

    // Shows the notices over parent, modeless; nothing when there are none.
    static StartNotice* showNotices(QWidget* parent, const QStringList& notices);
    // A line of a notice that is a command to type.
    static bool isCommand(const QString& line);

    QList<QLineEdit*> commandFields() const;
};
