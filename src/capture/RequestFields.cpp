#include "capture/RequestFields.h"

#include "capture/ByteView.h"

namespace RequestFields {
namespace {

ByteView viewOf(const QByteArray& text)
{
    return ByteView(reinterpret_cast<const quint8*>(text.constData()), text.size());
}

} // namespace

QString headerValue(const QByteArray& requestText, std::string_view lowerName)
{
    const ByteView view = viewOf(requestText);
    const qsizetype name = view.findNoCase(lowerName);
    if (name < 0)
        return {};
    const qsizetype value = name + qsizetype(lowerName.size());
    const qsizetype end = view.find("\r\n", value);
    if (end < 0)
        return {};
    return QString::fromLatin1(requestText.constData() + value, end - value);
}

QString address(const QByteArray& requestText)
{
    constexpr qsizetype kMethodLength = 4; // "GET "
    QString result = QStringLiteral("http://") + headerValue(requestText, "host: ");
    if (requestText.size() <= kMethodLength)
        return result;
    qsizetype end = requestText.indexOf(' ', kMethodLength);
    if (end < 0)
        end = requestText.size();
    result += QString::fromLatin1(requestText.constData() + kMethodLength, end - kMethodLength);
    return result;
}

} // namespace RequestFields
