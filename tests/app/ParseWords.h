#pragma once

#include "app/CommandLine.h"

#include <initializer_list>

// The command line of `trawlix WORDS...`, as the program reads it.
inline CommandLine parseWords(std::initializer_list<const char*> words)
{
    QStringList arguments{QStringLiteral("/usr/bin/trawlix")};
    for (const char* word : words)
        arguments << QString::fromUtf8(word);
    return CommandLine::parse(arguments);
}
