#include "ui/SuggestionField.h"

#include <QFocusEvent>
#include <QLineEdit>

namespace kd {

SuggestionField::SuggestionField(QLineEdit* edit) : QObject(edit), edit_(edit)
{
    edit_->installEventFilter(this);
}

void SuggestionField::suggest(const QString& text)
{
    suggestion_ = text;
    edit_->setText(text);
    edit_->selectAll();
}

bool SuggestionField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != edit_)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        clickFocus_ = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason &&
                      !suggestion_.isEmpty() && edit_->text() == suggestion_;
        // A change of the active window may have dropped the selection.
        if (clickFocus_)
            edit_->selectAll();
        break;
    case QEvent::MouseButtonPress:
        // The press that gave the focus would put the cursor where it landed.
        if (clickFocus_) {
            clickFocus_ = false;
            return true;
        }
        break;
    case QEvent::FocusOut:
        clickFocus_ = false;
        break;
    default:
        break;
    }
    return false;
}

} // namespace kd
