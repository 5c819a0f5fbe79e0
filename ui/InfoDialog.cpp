#include "ui/InfoDialog.h"

#include "ui_InfoDialog.h"

namespace kd {

InfoDialog::InfoDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::InfoDialog>())
{
    ui_->setupUi(this);
    connect(ui_->okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

InfoDialog::~InfoDialog() = default;

void InfoDialog::setProgramName(const QString& name)
{
    ui_->programNameLabel_->setText(name);
}

void InfoDialog::setVersion(const QString& version)
{
    ui_->versionLabel_->setText(QStringLiteral("v%1").arg(version));
}

} // namespace kd
