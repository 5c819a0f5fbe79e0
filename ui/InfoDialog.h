#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class InfoDialog;
}

namespace kd {

// The About box: program name, version and credits.
class InfoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit InfoDialog(QWidget* parent = nullptr);
    ~InfoDialog() override;

    void setProgramName(const QString& name);
    // Shown as "v" followed by the version.
    void setVersion(const QString& version);

private:
    std::unique_ptr<Ui::InfoDialog> ui_;
};

} // namespace kd
