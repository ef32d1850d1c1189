#include "app/application_identity.h"

#include <QCoreApplication>

namespace noxa {

void SetApplicationIdentity() {
    QCoreApplication::setApplicationName("noxa-station");
    QCoreApplication::setApplicationVersion(NOXA_VERSION);
}

}  // namespace noxa
