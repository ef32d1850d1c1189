#include "messages.h"

#include <cstdio>

void PrintLine(const QString& line) {
    std::fputs(qPrintable(line + '\n'), stderr);
    std::fflush(stderr);
}

std::nullopt_t Say(const QString& line) {
    PrintLine(QStringLiteral("noxa-night: ") + line);
    return std::nullopt;
}
