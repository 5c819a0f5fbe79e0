#include "ui/LogWindow.h"

#include "base/Settings.h"
#include "ui/Dialogs.h"
#include "ui_TextWindow.h"

#include <QDir>
#include <QSaveFile>

namespace kd {

LogWindow::LogWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::TextWindow>())
{
    ui_->setupUi(this);
    ui_->actionSave_->setEnabled(true);
    connect(ui_->actionSave_, &QAction::triggered, this, &LogWindow::onActionSaveTriggered);
    connect(ui_->actionTruncate_, &QAction::triggered, this, &LogWindow::onActionTruncateTriggered);
    connect(ui_->actionClose_, &QAction::triggered, this, &QWidget::close);
}

LogWindow::~LogWindow() = default;

void LogWindow::appendParagraph(const QString& html)
{
    ui_->textEdit_->append(html);
}

QString LogWindow::plainText() const
{
    return ui_->textEdit_->toPlainText();
}

bool LogWindow::saveTo(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(plainText().toUtf8());
    file.write("\n");
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void LogWindow::onActionSaveTriggered()
{
    if (!dialogs_)
        return;
    const QString program = Settings::instance().fixedValue(Settings::ProgramName).toString();
    const QString path = dialogs_->saveFileName(
        this, QStringLiteral("Save Log"), QDir::home().filePath(QStringLiteral("keldar-log.txt")),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        dialogs_->critical(this, program, QStringLiteral("Unable to save the log: %1").arg(error));
}

void LogWindow::onActionTruncateTriggered()
{
    ui_->textEdit_->clear();
}

} // namespace kd
