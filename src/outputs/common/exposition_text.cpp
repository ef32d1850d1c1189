#include "outputs/common/exposition_text.h"

namespace noxa {

QByteArray ExpositionLabelValue(const QByteArray& utf8) {
    QByteArray out;
    out.reserve(utf8.size());
    // The three are ASCII, which no byte of a multi-byte UTF-8 sequence can be.
    for (const char c : utf8) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void ExpositionFamily(QByteArray& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

}  // namespace noxa
