#include "app/window/form_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtGlobal>

namespace noxa::window {
namespace {

QString FromModel(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString ObjectName(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// A component of the model without its widget is a fault of the window's layout.
void ReportMissing(std::string_view name) {
    qWarning("The window has no widget for the form component %.*s", static_cast<int>(name.size()),
             name.data());
    Q_ASSERT_X(false, "FormBinding", "a form component has no widget");
}

}  // namespace

FormBinding::FormBinding(FormModel& form, QWidget& window) : form_(form), window_(window) {
    for (std::size_t i = 0; i < kFormTextCount; ++i) BindText(static_cast<FormText>(i));
    for (std::size_t i = 0; i < kFormCheckCount; ++i) BindCheck(static_cast<FormCheck>(i));
    BindLog();

    connect(&form_, &FormModel::textChanged, this, &FormBinding::ShowText);
    connect(&form_, &FormModel::checkChanged, this, &FormBinding::ShowCheck);
    connect(&form_, &FormModel::rxColourChanged, this, &FormBinding::ShowRxColour);
    ShowRxColour();
    connect(&form_, &FormModel::captionChanged, this,
            [this] { window_.setWindowTitle(FromModel(form_.Caption())); });
    window_.setWindowTitle(FromModel(form_.Caption()));
}

void FormBinding::BindText(FormText id) {
    const std::size_t index = static_cast<std::size_t>(id);
    const QString name = ObjectName(ComponentName(id));
    if (auto* edit = window_.findChild<QLineEdit*>(name)) {
        edits_[index] = edit;
        connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
            const QByteArray bytes = text.toLocal8Bit();
            form_.SetText(id, std::string_view(bytes.constData(), bytes.size()));
        });
    } else if (auto* label = window_.findChild<QLabel*>(name)) {
        labels_[index] = label;
    } else {
        ReportMissing(ComponentName(id));
        return;
    }
    ShowText(id);
}

void FormBinding::BindCheck(FormCheck id) {
    auto* check = window_.findChild<QCheckBox*>(ObjectName(ComponentName(id)));
    if (check == nullptr) {
        ReportMissing(ComponentName(id));
        return;
    }
    checks_[static_cast<std::size_t>(id)] = check;
    ShowCheck(id);
    connect(check, &QCheckBox::toggled, this,
            [this, id](bool checked) { form_.SetChecked(id, checked); });
}

void FormBinding::BindLog() {
    memo_ = window_.findChild<QPlainTextEdit*>("Memo1");
    if (memo_ == nullptr) {
        ReportMissing("Memo1");
        return;
    }
    const std::deque<std::string>& lines = form_.LogLines();
    for (std::size_t i = 0; i < lines.size(); ++i) ShowLogLine(form_.LogLevels()[i], lines[i]);
    connect(&form_, &FormModel::logAppended, memo_,
            [this](LogLevel level, const std::string& line) { ShowLogLine(level, line); });
    connect(&form_, &FormModel::logCleared, memo_, &QPlainTextEdit::clear);
}

void FormBinding::ShowLogLine(LogLevel level, const std::string& line) {
    memo_->appendPlainText(FromModel(line));
    // Errors in red and warnings in amber; every other line in the memo's own colour.
    QTextCharFormat format;
    if (level == LogLevel::Error) format.setForeground(QColor(200, 0, 0));
    if (level == LogLevel::Warning) format.setForeground(QColor(170, 100, 0));
    QTextCursor cursor(memo_->document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.setCharFormat(format);
}

void FormBinding::ShowText(FormText id) {
    const std::size_t index = static_cast<std::size_t>(id);
    const QString text = FromModel(form_.Text(id));
    if (QLineEdit* edit = edits_[index]) {
        // The user's own typing comes back here unchanged; leave the cursor where it is.
        if (edit->text() != text) edit->setText(text);
    } else if (QLabel* label = labels_[index]) {
        label->setText(text);
    }
}

void FormBinding::ShowCheck(FormCheck id) {
    QCheckBox* check = checks_[static_cast<std::size_t>(id)];
    // setChecked on an unchanged state emits nothing, so a tick never comes back around.
    if (check != nullptr) check->setChecked(form_.Checked(id));
}

void FormBinding::ShowRxColour() {
    QLabel* indicator = labels_[static_cast<std::size_t>(FormText::LRx)];
    if (indicator == nullptr) return;
    const Rgb colour = form_.RxColour();
    QPalette palette = indicator->palette();
    palette.setColor(QPalette::WindowText, QColor(colour.r, colour.g, colour.b));
    indicator->setPalette(palette);
}

}  // namespace noxa::window
