#pragma once

#include "store/RunDefinition.h"

#include <QStringList>
#include <QWizard>

class QTableView;

#include <memory>

namespace Ui {
class RunDefWizard;
}

namespace kd {

class QueryViewManager;

// Adds or edits a run definition in four pages: name, format and detection window, releases,
// sites, and a review with a summary. It never writes to the store; the window stores the run it
// hands back.
class RunDefWizard : public QWizard
{
    Q_OBJECT

public:
    enum Page { InfoPage = 0, ReleasesPage = 1, SitesPage = 2, ReviewPage = 3 };
    enum Mode { AddMode = 0, EditMode = 1 };

    // The view manager is not owned; it provides the models of the release and site lists.
    explicit RunDefWizard(QueryViewManager* views, QWidget* parent = nullptr);
    ~RunDefWizard() override;

    void setMode(int mode);

    // Loads an existing run into the pages.
    void setRun(const RunDefinition& run);
    // The run as collected from the pages when the review page was entered.
    const RunDefinition& run() const { return run_; }

    QTableView* releasesView() const;
    QTableView* sitesView() const;

public slots:
    void accept() override;

protected:
    void initializePage(int id) override;

private slots:
    void onCurrentIdChanged(int id);
    // Empties the pages: the next run starts from nothing.
    void clearSettings();
    void markWindow();

private:
    void showStartingFrom(bool shown);
    void fitSubTitle();
    void collectPages();
    void selectIds(int kind, const QList<int>& ids);
    void writeSummary();
    // Reads the window fields into start and end, marks the fields at fault and returns why the
    // window cannot be used, or an empty string.
    QString checkWindow(QDateTime& start, QDateTime& end);

    std::unique_ptr<Ui::RunDefWizard> ui_;
    RunDefinition run_;
    QueryViewManager* views_;
    QStringList releaseNames_;
    QStringList siteNames_;
    // The window as the review shows it, and why it cannot be used (empty when it can).
    QString windowText_;
    QString windowProblem_;
    // The run whose settings the pages hold (the last one finished or loaded for editing).
    QString startingFrom_;
};

} // namespace kd
