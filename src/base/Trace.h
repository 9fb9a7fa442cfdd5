#pragma once

#include <QString>

// The diagnostic trace. Texts are discarded unless TRAWLIX_TRACE is set in the environment,
// in which case they go to standard error, one line each.
void trace(const QString& text);
