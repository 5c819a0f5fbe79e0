#include "ui/RunReviewPage.h"

namespace kd {

RunReviewPage::RunReviewPage(QWidget* parent) : QWizardPage(parent) {}

void RunReviewPage::setRunComplete(bool complete)
{
    if (complete == runComplete_)
        return;
    runComplete_ = complete;
    emit completeChanged();
}

bool RunReviewPage::isComplete() const
{
    return runComplete_;
}

} // namespace kd
