#include "ui/mainwindow/CaptureStatusText.h"

#include "base/Texts.h"

#include <QFileInfo>
#include <QStringList>

namespace {

QString shortName(const QString& name)
{
    return name.size() > CaptureStatusText::MaxNameLength
               ? name.left(CaptureStatusText::MaxNameLength - 1) + QChar(0x2026)
               : name;
}

QString stateText(const Engine::CaptureStatus& status)
{
    using State = Engine::CaptureState;
    switch (status.state) {
    case State::Off:
        return tx(u"Capture is off");
    case State::Opening:
        return tx(u"Opening the network adapters...");
    case State::Watching:
        return status.adapter.isEmpty() ? tx(u"Watching every adapter")
                                        : tx(u"Watching %1").arg(shortName(status.adapter));
    case State::Reading:
        return tx(u"Reading %1").arg(shortName(QFileInfo(status.adapter).fileName()));
    case State::Paused:
        return tx(u"Monitoring paused");
    case State::NoPermission:
        return tx(u"No permission to capture: see the first-start notice");
    case State::NoAdapters:
        return tx(u"No network adapters to capture");
    case State::Ended:
        return tx(u"Capture ended");
    }
    return {};
}

} // namespace

namespace CaptureStatusText {

QString format(const Engine::CaptureStatus& status)
{
    QStringList parts{stateText(status)};
    if (status.state != Engine::CaptureState::Off) {
        parts << tx(u"%1 requests").arg(status.requests) << tx(u"%1 candidates").arg(status.candidates);
        if (!status.keyLog)
            parts << tx(u"HTTPS not read: no key log");
        else if (status.keysMissing)
            parts << tx(u"HTTPS without keys: open the browser through Trawlix");
    }
    return parts.join(QStringLiteral(" \u00b7 "));
}

} // namespace CaptureStatusText
