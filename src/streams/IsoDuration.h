#pragma once

#include <QByteArrayView>

#include <optional>

// An xs:duration as MPDs write it ("PT1H2M3.5S", "P1DT12H", "PT0S"), in seconds. The fields
// come in order, each at most once, the time ones after "T"; only seconds have a fraction.
// Years and months have no fixed length and are accepted only as zero. Negative durations and
// anything past ten years are refused.
std::optional<double> parseIsoDuration(QByteArrayView text);
