#include "streams/UriResolution.h"

#include "streams/StreamLimits.h"

StreamResult<QUrl> resolveUri(const QUrl& base, QByteArrayView reference)
{
    if (reference.size() > StreamLimits::MaxUriLength)
        return streamError(StreamError::Code::TooLong,
                           QStringLiteral("an address is longer than %1 bytes").arg(StreamLimits::MaxUriLength));
    const QString text = QString::fromUtf8(reference).trimmed();
    const QUrl relative(text, QUrl::StrictMode);
    if (!relative.isValid())
        return streamError(StreamError::Code::Malformed,
                           QStringLiteral("an address is not valid: %1").arg(text.left(80)));
    const QUrl resolved = base.resolved(relative);
    const QString scheme = resolved.scheme();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || resolved.host().isEmpty())
        return streamError(StreamError::Code::Unsupported,
                           QStringLiteral("an address is not http or https: %1").arg(text.left(80)));
    return resolved;
}
