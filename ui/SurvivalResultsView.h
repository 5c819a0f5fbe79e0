#pragma once

#include "survival/SurvivalResult.h"

#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace kd {

class Dialogs;

// The answer of a survival run in its own window, on two tabs. Tables: the warnings of the
// analysis and one tab per release with its fit, a per-site summary (fish detected, p and
// cumulative survival with their 95% intervals) and the estimates as the run's estimates file
// lists them; every table copies as tab-separated text. Chart: the chart, at full size when
// the window leaves room, which Save Chart writes as a PNG image. It only shows what it is
// given; it can be filled again for the next run while it is open.
class SurvivalResultsView : public QWidget
{
    Q_OBJECT

public:
    // A separate window even with a parent.
    explicit SurvivalResultsView(QWidget* parent = nullptr);
    ~SurvivalResultsView() override;

    // Not owned; asked for the file name of Save Chart and told when saving failed. Without it
    // the platform's dialogs are used.
    void setDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }

    // Replaces what the view shows. Needs a QGuiApplication for the chart.
    void setResult(const QString& runName, const SurvivalResult& result);
    QString runName() const { return runName_; }
    const SurvivalResult& result() const { return result_; }
    // The chart as Save Chart writes it, SurvivalChart::Width × SurvivalChart::Height; null
    // before the first result.
    QImage chart() const { return chart_; }

    // Writes the chart as a PNG image; on failure returns false with the reason in `error`.
    bool saveChart(const QString& path, QString* error = nullptr) const;

public slots:
    // Asks for a file name (proposing NAME_survival.png in the output folder) and saves there.
    void saveChartAs();

signals:
    void chartSaved(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* releasePage(const SurvivalReleaseResult& release) const;
    void fillSites(QTableWidget* table, const SurvivalReleaseResult& release) const;
    void fillEstimates(QTableWidget* table, const SurvivalReleaseResult& release) const;
    // The chart scaled into its label, its proportions kept.
    void showChart();

    Dialogs* dialogs_ = nullptr;
    QString runName_;
    SurvivalResult result_;
    QImage chart_;
    QLabel* titleLabel_;
    QLabel* warningsLabel_;
    QTabWidget* viewTabs_;
    QTabWidget* releaseTabs_;
    QTableWidget* cumulativeTable_;
    QLabel* chartLabel_;
    QPushButton* saveChartButton_;
};

} // namespace kd
