#pragma once

#include <QString>

namespace noxa {

// The switches that decide how the station starts as an automation server. Each is matched
// case-insensitively after "/", "-" or "--": /RegServer, -regserver, --REGSERVER.
struct AutomationSwitches {
    // Write the session bus service file, then end without a window.
    bool regServer = false;
    // Remove the service file, then end.
    bool unregServer = false;
    // Started by the bus for a client (/Automation or /Embedding): leave the service file
    // alone, and end once the last client has left.
    bool automation = false;

    bool EndsAfterRegistration() const { return regServer || unregServer; }
};

// Takes the automation switches out of the arguments, so that only the station's own options
// reach the option parser. argv keeps its terminating null pointer.
AutomationSwitches TakeAutomationSwitches(int& argc, char** argv);

// The folder the session bus reads the user's service files from:
// $XDG_DATA_HOME/dbus-1/services, or ~/.local/share/dbus-1/services.
QString ServiceFileDirectory();
// "<folder>/Test.Dedazaduz.service".
QString ServiceFilePath();

// The Exec line's program: the path as it is when it needs no quoting, otherwise in double
// quotes with the quoting of desktop entry files (which the bus follows): ", `, $ and \ are
// escaped for the command line, and every \ is doubled once more for the file.
QString QuoteExecProgram(const QString& program);

// The service file that makes the bus start `program` with " /Automation" for the first call
// to the automation name. Empty when the path cannot be written into such a file (a control
// character in it).
QString ServiceFileText(const QString& program);

// Writes the service file for `program` atomically, making its folder when needed. On failure
// returns false with the reason.
bool RegisterAutomationServer(const QString& program, QString& error);
// Removes the service file; a file that is not there counts as removed.
bool UnregisterAutomationServer(QString& error);

}  // namespace noxa
