#pragma once

#include <QString>

#include <optional>

// Writes the line on standard error.
void PrintLine(const QString& line);

// Writes "noxa-night: <line>" on standard error; returns nothing, for a failed step to return.
std::nullopt_t Say(const QString& line);
