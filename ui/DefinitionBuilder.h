#pragma once

#include <QList>
#include <QSet>
#include <QSqlRecord>
#include <QString>

class QLineEdit;
class QWidget;

namespace kd {

class DefinitionStore;
class Dialogs;
class QueryViewManager;
class SuggestionField;

// One of the two builders of the window: releases from release groups, or sites from arrays.
// Suggests a name and river kilometre for the selected rows, creates one definition from them,
// bulk-adds one definition per row, and deletes definitions. Names are unique among the
// definitions of the kind, compared without the blanks around them.
class DefinitionBuilder
{
public:
    enum Kind { Releases, Sites };

    struct Suggestion
    {
        QString name;
        QString riverKm;
    };

    // The line edits are not owned; the suggestions they get are selected.
    DefinitionBuilder(Kind kind, QLineEdit* nameEdit, QLineEdit* riverKmEdit);

    // The name joins the first and last row's location; the river kilometre is the smallest.
    // Nothing is suggested for no rows.
    static bool suggest(const QList<QSqlRecord>& rows, const QString& locationColumn,
                        const QString& riverKmColumn, Suggestion& suggestion);

    // Fills the fields from the selected available rows; leaves them alone when none is selected.
    void suggest(const QueryViewManager& views) const;
    // Validates the fields and creates one definition from every selected available row; a
    // name that is taken is refused. Each problem is shown to the user, and an offending field
    // is framed in red. True when created.
    bool create(QueryViewManager& views, DefinitionStore& store, Dialogs& dialogs, QWidget* parent,
                const QString& caption) const;
    // One definition per selected available row; returns how many. A name that is taken, or that
    // two of the rows would share, gets the row's year, and then " (2)", " (3)" as needed.
    int bulkAdd(QueryViewManager& views, DefinitionStore& store) const;
    // Deletes the selected definitions; returns how many.
    int deleteSelected(QueryViewManager& views, DefinitionStore& store) const;

    static QString invalidStyle();

private:
    int availableKind() const;
    int definedKind() const;
    int wizardKind() const;
    QString locationColumn() const;
    QString riverKmColumn() const;
    QString yearColumn() const;
    void add(DefinitionStore& store, const QString& name, int riverKm, const QList<int>& ids) const;
    void refreshDefined(QueryViewManager& views) const;
    // The names of the defined list, trimmed.
    QSet<QString> takenNames(const QueryViewManager& views) const;

    Kind kind_;
    QLineEdit* nameEdit_;
    QLineEdit* riverKmEdit_;
    SuggestionField* nameField_;
    SuggestionField* riverKmField_;
};

} // namespace kd
