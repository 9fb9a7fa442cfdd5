#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// The bytes a 206 answer says its body holds, from "Content-Range: bytes START-END/TOTAL".
struct ContentRange
{
    qint64 start = 0;
    qint64 end = 0; // the last byte, inclusive
    qint64 total = 0;

    // Digits a number may have: 18 of them always fit a qint64.
    static constexpr int MaxDigits = 18;

    // Exactly "bytes START-END/TOTAL" (the unit in any case, one space, decimal numbers of at
    // most MaxDigits digits, START <= END < TOTAL). Nothing else is a range a part can use:
    // an unknown total ("*"), an unsatisfied range ("*/TOTAL"), signs, spaces or anything
    // after the total give none.
    static std::optional<ContentRange> parse(QByteArrayView value);

    bool operator==(const ContentRange&) const = default;
};
