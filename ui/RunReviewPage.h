#pragma once

#include <QWizardPage>

namespace kd {

// The last page of the run wizard: Finish is offered only while the reviewed run is complete.
class RunReviewPage : public QWizardPage
{
    Q_OBJECT

public:
    explicit RunReviewPage(QWidget* parent = nullptr);

    void setRunComplete(bool complete);
    bool isComplete() const override;

private:
    bool runComplete_ = false;
};

} // namespace kd
