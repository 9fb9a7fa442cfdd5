#pragma once

#include <QProcessEnvironment>
#include <QString>

// Programs a test starts never open a real browser through xdg-open: an xdg-open of the test's
// own, first on PATH, writes its arguments to xdg-open.log beside it and does nothing else.
namespace XdgOpenStub {

// Writes folder/xdg-open and puts folder first on environment's PATH; false when it could not.
bool install(const QString& folder, QProcessEnvironment& environment);

} // namespace XdgOpenStub
