#include "app/automation_registration.h"

#include "app/automation_service.h"
#include "recording/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <string_view>

namespace noxa {
namespace {

// The switch a command-line argument names, without its "/", "-" or "--"; empty when the
// argument does not start like a switch.
QString SwitchName(const char* argument) {
    std::string_view text(argument);
    if (text.starts_with("--")) {
        text.remove_prefix(2);
    } else if (text.starts_with('-') || text.starts_with('/')) {
        text.remove_prefix(1);
    } else {
        return {};
    }
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsSwitch(const QString& name, const char* wanted) {
    return name.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

// Characters a program path may hold on an Exec line without quotes.
bool IsPlainPathCharacter(QChar c) {
    if (c.unicode() >= 0x80) return false;
    const char ascii = c.toLatin1();
    return (ascii >= 'a' && ascii <= 'z') || (ascii >= 'A' && ascii <= 'Z') ||
           (ascii >= '0' && ascii <= '9') ||
           std::string_view("/._-+,:@=").find(ascii) != std::string_view::npos;
}

}  // namespace

AutomationSwitches TakeAutomationSwitches(int& argc, char** argv) {
    AutomationSwitches switches;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QString name = SwitchName(argv[i]);
        if (IsSwitch(name, "regserver")) {
            switches.regServer = true;
        } else if (IsSwitch(name, "unregserver")) {
            switches.unregServer = true;
        } else if (IsSwitch(name, "automation") || IsSwitch(name, "embedding")) {
            switches.automation = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argv[kept] = nullptr;
    argc = kept;
    return switches;
}

QString ServiceFileDirectory() {
    // $XDG_DATA_HOME when it is set to an absolute path, ~/.local/share otherwise: the same
    // folder the bus looks in.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/dbus-1/services";
}

QString ServiceFilePath() {
    return ServiceFileDirectory() + "/" + kAutomationBusName + ".service";
}

QString QuoteExecProgram(const QString& program) {
    bool plain = !program.isEmpty();
    for (const QChar c : program) plain = plain && IsPlainPathCharacter(c);
    if (plain) return program;

    QString quoted = "\"";
    for (const QChar c : program) {
        // First the command line's escape, then the file's: \$ is written \\$, \\ is \\\\.
        if (c == '"' || c == '`' || c == '$') {
            quoted += "\\\\";
        } else if (c == '\\') {
            quoted += "\\\\\\";
        }
        quoted += c;
    }
    return quoted + "\"";
}

QString ServiceFileText(const QString& program) {
    for (const QChar c : program) {
        if (c.category() == QChar::Other_Control) return {};
    }
    return QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2 /Automation\n")
        .arg(kAutomationBusName, QuoteExecProgram(program));
}

bool RegisterAutomationServer(const QString& program, QString& error) {
    const QString text = ServiceFileText(program);
    if (text.isEmpty()) {
        error = "the program's path " + program + " cannot be written into a service file";
        return false;
    }
    if (!QDir().mkpath(ServiceFileDirectory())) {
        error = "cannot make the folder " + ServiceFileDirectory();
        return false;
    }
    QString reason;
    if (!ReplaceFile(ServiceFilePath(), text.toUtf8(), reason)) {
        error = "cannot write " + ServiceFilePath() + ": " + reason;
        return false;
    }
    return true;
}

bool UnregisterAutomationServer(QString& error) {
    QFile file(ServiceFilePath());
    if (!file.exists() || file.remove()) return true;
    error = "cannot remove " + ServiceFilePath() + ": " + file.errorString();
    return false;
}

}  // namespace noxa
