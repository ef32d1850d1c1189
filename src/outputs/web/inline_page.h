#pragma once

#include "outputs/web/route_server.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace noxa {

// A page of the compiled-in resources with its style and script inside, and the security
// policy that admits exactly those two by their hashes, so that nothing from elsewhere runs.
struct InlinePage {
    QByteArray page;
    QByteArray policy;  // header lines, each ending in CR LF
};

// The page `html` with the styles put in place of "/*STYLE*/" and the scripts, joined into
// one, in place of "/*SCRIPT*/". A missing resource is a fault of the build: it stops.
InlinePage BuildInlinePage(const QString& html, const QStringList& styles,
                           const QStringList& scripts);

// The page as a 200 answer with its policy.
WebReply PageReply(const InlinePage& page);

}  // namespace noxa
