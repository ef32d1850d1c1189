#include "support/comma_locale.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <clocale>
#include <cstdlib>

namespace noxa::test {
namespace {

constexpr const char* kLocale = "de_DE.UTF-8";

bool CompilePrivateLocale() {
    const QString localedef = QStandardPaths::findExecutable("localedef");
    if (localedef.isEmpty()) return false;
    const QString folder = QDir::temp().filePath("noxa-test-locales");
    QDir().mkpath(folder);
    setenv("LOCPATH", QFile::encodeName(folder).constData(), 1);
    if (QDir(folder).exists(kLocale)) return true;
    QProcess process;
    process.start(localedef, {"-i", "de_DE", "-f", "UTF-8", QDir(folder).filePath(kLocale)});
    return process.waitForFinished(60000) && QDir(folder).exists(kLocale);
}

}  // namespace

bool UseCommaLocale() {
    if (std::setlocale(LC_ALL, kLocale)) return true;
    return CompilePrivateLocale() && std::setlocale(LC_ALL, kLocale);
}

void RestoreCLocale() {
    std::setlocale(LC_ALL, "C");
}

}  // namespace noxa::test
