#pragma once

#include <QString>

class QWidget;

namespace kd {

// The questions the desktop window asks its user: message boxes and folder and file choosers.
// Tests answer them through their own implementation.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // An error message with a single Ok button.
    virtual void critical(QWidget* parent, const QString& title, const QString& text) = 0;
    // A question with Ok and Cancel, Cancel being the default; true for Ok.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& text) = 0;
    // A folder, or the empty string when the user canceled.
    virtual QString existingDirectory(QWidget* parent, const QString& caption,
                                      const QString& startDir) = 0;
    // A file name to save to, or the empty string when the user canceled.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& startPath,
                                 const QString& filter) = 0;
};

} // namespace kd
