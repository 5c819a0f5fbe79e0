#include "ui/WidgetDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kd {

void WidgetDialogs::critical(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

bool WidgetDialogs::confirm(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

QString WidgetDialogs::existingDirectory(QWidget* parent, const QString& caption,
                                         const QString& startDir)
{
    return QFileDialog::getExistingDirectory(parent, caption, startDir, QFileDialog::ShowDirsOnly);
}

QString WidgetDialogs::saveFileName(QWidget* parent, const QString& caption,
                                    const QString& startPath, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, startPath, filter);
}

} // namespace kd
