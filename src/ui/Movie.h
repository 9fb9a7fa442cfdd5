#pragma once

#include <QWidget>

// One of the main window's drawn controls (menu strip, play control bar, thumbnail scroller,
// traffic monitor). The program talks to a movie only in request texts: call() takes the
// `<invoke ...>` text the program sends, and hostCall() carries the text of a call the movie
// makes, which the main window dispatches by substring.
class Movie : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Movie)

public:
    explicit Movie(QWidget* parent = nullptr);
    ~Movie() override;

    // Handles one request; a request the movie does not export is ignored. Safe to call from
    // any thread: calls from workers are queued onto the interface thread.
    void call(const QString& request);

signals:
    void hostCall(const QString& request);

protected:
    virtual void handleCall(const QString& name, const QStringList& arguments) = 0;

    // Emits hostCall() for a function of the movie with no arguments.
    void callHost(const QString& functionName);
};
