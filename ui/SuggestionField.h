#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

namespace kd {

// A line edit that the program fills with a suggestion. The suggestion is put in selected, and
// while the field still holds it, the click that brings the user into the field selects it
// again instead of placing the cursor: typing replaces the suggestion instead of appending.
class SuggestionField : public QObject
{
    Q_OBJECT

public:
    // Watches the edit, which owns the new object.
    explicit SuggestionField(QLineEdit* edit);

    // Puts the text into the field, selected.
    void suggest(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* edit_;
    QString suggestion_;
    bool clickFocus_ = false;
};

} // namespace kd
