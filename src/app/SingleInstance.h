#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running Trawlix per data folder. The first instance holds an advisory lock on a file in
// the data folder (the kernel drops it when the process ends, however it ends) and listens on
// a local socket named by the user and the folder. A later start finds the lock taken, asks
// the first instance through the socket to show its window, and ends.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    explicit SingleInstance(const QString& dataDir, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Later
    {
        AskToShow, // a start that would open a window brings the running one forward instead
        StayQuiet, // a command that works beside it (printing the library, a download by link)
    };

    // True when this process is the first instance (it then listens for show requests).
    // Otherwise, with AskToShow, the running instance has been asked to show itself, when it
    // could be reached.
    bool claim(Later later = Later::AskToShow);

    // Tells the instance running on dataDir, if any, that files entered its library.
    static void announceLibraryChange(const QString& dataDir);

    // The socket name for a data folder (per user and folder).
    static QString socketName(const QString& dataDir);

signals:
    // A later start asked this instance to bring its window forward.
    void showRequested();
    // A run beside this one changed the library: the table should be read again.
    void libraryChanged();

private:
    void acceptConnection();

    QString m_dataDir;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};
