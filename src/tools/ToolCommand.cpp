#include "tools/ToolCommand.h"

#include <algorithm>

namespace {

// Quotes an argument for display when a reader could not otherwise tell where it ends.
QString displayArgument(const QString& argument)
{
    const bool needsQuotes = argument.isEmpty() || std::any_of(argument.cbegin(), argument.cend(),
                                                               [](QChar c) { return c.isSpace() || c == u'"'; });
    if (!needsQuotes)
        return argument;
    QString quoted = argument;
    quoted.replace(QLatin1String("\""), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString ToolCommand::displayText() const
{
    QStringList parts;
    parts.reserve(arguments.size() + 1);
    parts << displayArgument(program);
    for (const QString& argument : arguments)
        parts << displayArgument(argument);
    return parts.join(QLatin1Char(' '));
}
