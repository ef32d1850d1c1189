#include "outputs/web/inline_page.h"

#include <QCryptographicHash>
#include <QFile>

namespace noxa {
namespace {

QByteArray ReadResource(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The dashboard resource %s is missing", qPrintable(name));
    return file.readAll();
}

QByteArray Sha256Source(const QByteArray& text) {
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

}  // namespace

InlinePage BuildInlinePage(const QString& html, const QStringList& styles,
                           const QStringList& scripts) {
    QByteArray style;
    for (const QString& name : styles) style += ReadResource(name);
    QByteArray code;
    for (const QString& name : scripts) code += ReadResource(name);
    InlinePage out;
    out.page = ReadResource(html);
    out.page.replace("/*STYLE*/", style);
    out.page.replace("/*SCRIPT*/", code);
    out.policy = "Content-Security-Policy: default-src 'none'; script-src " + Sha256Source(code) +
                 "; style-src " + Sha256Source(style) +
                 "; img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
                 "form-action 'none'; frame-ancestors 'none'\r\n"
                 "Referrer-Policy: no-referrer\r\n";
    return out;
}

WebReply PageReply(const InlinePage& page) {
    return WebReply{200, "OK", "text/html; charset=utf-8", page.page, page.policy};
}

}  // namespace noxa
