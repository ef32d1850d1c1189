#include "app/automation_close_check.h"

#include "app/automation_service.h"

#include <QMessageBox>

namespace noxa {

bool AskWithWarningBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, QString(text).replace("\r\n", "\n"),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::function<bool()> AutomationCloseCheck(const AutomationService& service, QWidget* parent,
                                           CloseQuestion ask) {
    return [&service, parent, ask = std::move(ask)] {
        return service.ClientCount() == 0 ||
               ask(parent, kCloseWarningCaption, QString::fromLatin1(kCloseWarningText));
    };
}

}  // namespace noxa
