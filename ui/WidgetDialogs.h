#pragma once

#include "ui/Dialogs.h"

namespace kd {

// The dialogs as the user sees them: message boxes and the platform's file choosers.
class WidgetDialogs : public Dialogs
{
public:
    void critical(QWidget* parent, const QString& title, const QString& text) override;
    bool confirm(QWidget* parent, const QString& title, const QString& text) override;
    QString existingDirectory(QWidget* parent, const QString& caption,
                              const QString& startDir) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& startPath,
                         const QString& filter) override;
};

} // namespace kd
