#include "app/CommandLine.h"

QStringList WindowArguments(const QStringList& arguments)
{
    if (arguments.size() == 2 && arguments.at(1) != QLatin1String("/o"))
        return {arguments.at(0), QStringLiteral("/o"), arguments.at(1)};
    return arguments;
}
