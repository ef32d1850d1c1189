#pragma once

#include "night/night_files.h"

#include <QStringList>
#include <QTimeZone>

#include <optional>

// What noxa-night was asked to do.
struct NightOptions {
    QStringList files;
    QString folder;
    std::optional<noxa::ObserverPlace> place;  // for files that give none
    noxa::DataFileTimes dataTimes;
    std::optional<QTimeZone> zone;  // the nights' zone, over the one a file gives
    float cloudyAbovePercent = 30;
    bool charts = true;
    bool progress = false;  // even when standard error is not a terminal
};

// Reads the command line; --help ends the program there. On a wrong command line, says why
// on standard error and returns nothing, with the exit code: 2 for no files, 1 for an option's
// value that cannot be read.
std::optional<NightOptions> ParseNightOptions(const QStringList& arguments, int& exitCode);
