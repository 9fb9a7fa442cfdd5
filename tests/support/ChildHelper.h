#pragma once

#include "tools/ToolCommand.h"

#include <QString>

// The test child of tests/helpers (its modes are listed in TestChild.cpp).
class ChildHelper final
{
public:
    static QString path();
    static ToolCommand command(const QString& mode);

    // Open descriptors of this process (to prove that a job leaves none behind).
    static int openDescriptorCount();

    // True when this process has no child left, running or unreaped.
    static bool hasNoChildren();
};
