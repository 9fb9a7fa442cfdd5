#include "ui/Movie.h"

#include "ui/MovieRequest.h"

#include <QThread>

Movie::Movie(QWidget* parent)
    : QWidget(parent)
{}

Movie::~Movie() = default;

void Movie::call(const QString& request)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, request] { call(request); }, Qt::QueuedConnection);
        return;
    }
    handleCall(MovieRequest::name(request), MovieRequest::arguments(request));
}

void Movie::callHost(const QString& functionName)
{
    emit hostCall(MovieRequest::build(functionName));
}
