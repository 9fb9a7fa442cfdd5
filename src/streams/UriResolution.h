#pragma once

#include "streams/StreamError.h"

#include <QByteArrayView>
#include <QUrl>

// An address from a manifest, resolved against the address of the document that holds it
// (RFC 3986). At most StreamLimits::MaxUriLength bytes; the result must be http or https, so a
// manifest cannot point the downloader at a local file or another scheme.
StreamResult<QUrl> resolveUri(const QUrl& base, QByteArrayView reference);
