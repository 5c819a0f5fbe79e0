#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class TextWindow;
}

namespace kd {

class Dialogs;

// A separate window that repeats the status log, so that it can be read at full size and
// saved to a file.
class LogWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit LogWindow(QWidget* parent = nullptr);
    ~LogWindow() override;

    // Not owned; asked for the file name when saving.
    void setDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }

    // Appends one paragraph of rich text.
    void appendParagraph(const QString& html);
    QString plainText() const;
    bool saveTo(const QString& path, QString* error = nullptr) const;

private slots:
    void onActionSaveTriggered();
    void onActionTruncateTriggered();

private:
    std::unique_ptr<Ui::TextWindow> ui_;
    Dialogs* dialogs_ = nullptr;
};

} // namespace kd
