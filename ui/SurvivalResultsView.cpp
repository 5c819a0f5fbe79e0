#include "ui/SurvivalResultsView.h"

#include "base/Settings.h"
#include "processing/SafeFileName.h"
#include "survival/SurvivalChart.h"
#include "survival/SurvivalWriter.h"
#include "ui/TableCopier.h"
#include "ui/WidgetDialogs.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kd {

namespace {

const QStringList SiteColumns = {QStringLiteral("Site"),
                                 QStringLiteral("Fish detected"),
                                 QStringLiteral("p"),
                                 QStringLiteral("p lcl"),
                                 QStringLiteral("p ucl"),
                                 QStringLiteral("Cumulative survival"),
                                 QStringLiteral("Survival lcl"),
                                 QStringLiteral("Survival ucl")};

// The columns of the estimates file.
const QStringList EstimateColumns = {QStringLiteral("release"),  QStringLiteral("parameter"),
                                     QStringLiteral("from"),     QStringLiteral("to"),
                                     QStringLiteral("estimate"), QStringLiteral("se"),
                                     QStringLiteral("lcl"),      QStringLiteral("ucl")};

// The columns of the cumulative file.
const QStringList CumulativeColumns = {
    QStringLiteral("release"),  QStringLiteral("site"), QStringLiteral("river_kilometer"),
    QStringLiteral("estimate"), QStringLiteral("se"),   QStringLiteral("lcl"),
    QStringLiteral("ucl")};

QTableWidget* makeTable(const QStringList& columns, const char* name)
{
    auto* table = new QTableWidget(0, int(columns.size()));
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(columns);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    TableCopier::install(table);
    return table;
}

void setText(QTableWidget* table, int row, int column, const QString& text, bool number)
{
    auto* item = new QTableWidgetItem(text);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, column, item);
}

// Estimate, then lcl and ucl (empty without an interval), from `column` on.
void setEstimate(QTableWidget* table, int row, int column, const CjsEstimate& estimate)
{
    setText(table, row, column++, SurvivalWriter::number(estimate.value), true);
    const auto bound = [&estimate](double value) {
        return estimate.hasInterval ? SurvivalWriter::number(value) : QString();
    };
    setText(table, row, column++, bound(estimate.lcl), true);
    setText(table, row, column, bound(estimate.ucl), true);
}

QString fitText(const SurvivalReleaseResult& release)
{
    QString text =
        QStringLiteral("%1 fish, %2 removed on capture. ").arg(release.fish).arg(release.removed);
    if (!release.estimated)
        return text + QStringLiteral("No fish was detected at any site: no estimates.");
    const CjsFit& fit = release.fit;
    text +=
        QStringLiteral("−2 ln L %1, %2 parameters, %3.")
            .arg(SurvivalWriter::number(fit.minus2LnL))
            .arg(fit.parameters)
            .arg(fit.converged ? QStringLiteral("converged") : QStringLiteral("did not converge"));
    if (fit.converged && fit.singular)
        text += QStringLiteral(" The information matrix is singular: no standard errors or "
                               "intervals.");
    else if (!fit.converged)
        text += QStringLiteral(" No standard errors or intervals.");
    return text;
}

} // namespace

SurvivalResultsView::SurvivalResultsView(QWidget* parent)
    : QWidget(parent, Qt::Window), titleLabel_(new QLabel), warningsLabel_(new QLabel),
      viewTabs_(new QTabWidget), releaseTabs_(new QTabWidget),
      cumulativeTable_(makeTable(CumulativeColumns, "cumulativeTable_")), chartLabel_(new QLabel),
      saveChartButton_(new QPushButton(QStringLiteral("Save Chart...")))
{
    setObjectName(QStringLiteral("survivalResultsView"));
    setWindowTitle(QStringLiteral("Survival"));

    titleLabel_->setObjectName(QStringLiteral("titleLabel_"));
    QFont titleFont = titleLabel_->font();
    titleFont.setBold(true);
    titleLabel_->setFont(titleFont);
    warningsLabel_->setObjectName(QStringLiteral("warningsLabel_"));
    warningsLabel_->setTextFormat(Qt::PlainText);
    warningsLabel_->setWordWrap(true);
    warningsLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    warningsLabel_->setStyleSheet(QStringLiteral("color: #a40000"));
    warningsLabel_->hide();
    releaseTabs_->setObjectName(QStringLiteral("releaseTabs_"));

    chartLabel_->setObjectName(QStringLiteral("chartLabel_"));
    chartLabel_->setAlignment(Qt::AlignCenter);
    chartLabel_->setMinimumSize(SurvivalChart::Width / 4, SurvivalChart::Height / 4);
    // The label takes the room it is given; the chart is shown whole in it.
    chartLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    chartLabel_->installEventFilter(this);

    // Tables and chart on tabs of their own, so that each has the whole window: the chart's
    // text is readable only near its full size. The warnings concern the estimates and stay
    // with the tables.
    auto* tablesPage = new QWidget;
    auto* tablesLayout = new QVBoxLayout(tablesPage);
    tablesLayout->addWidget(warningsLabel_);
    tablesLayout->addWidget(releaseTabs_, 1);
    auto* chartPage = new QWidget;
    auto* chartLayout = new QVBoxLayout(chartPage);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(chartLabel_);
    viewTabs_->setObjectName(QStringLiteral("viewTabs_"));
    viewTabs_->addTab(tablesPage, QStringLiteral("Tables"));
    // The numbers the chart draws, every release in one table as in the cumulative file.
    viewTabs_->addTab(cumulativeTable_, QStringLiteral("Cumulative survival"));
    viewTabs_->addTab(chartPage, QStringLiteral("Chart"));
    // The chart is drawn on the visible tab only; a hidden label keeps a stale size.
    connect(viewTabs_, &QTabWidget::currentChanged, this, &SurvivalResultsView::showChart);

    saveChartButton_->setObjectName(QStringLiteral("saveChartButton_"));
    saveChartButton_->setEnabled(false);
    auto* closeButton = new QPushButton(QStringLiteral("Close"));
    closeButton->setObjectName(QStringLiteral("closeButton_"));
    connect(saveChartButton_, &QPushButton::clicked, this, &SurvivalResultsView::saveChartAs);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveChartButton_);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel_);
    layout->addWidget(viewTabs_, 1);
    layout->addLayout(buttons);

    // At first the window is as large as the chart tab needs to show the chart at full size,
    // within the screen.
    chartLabel_->setMinimumSize(SurvivalChart::Width, SurvivalChart::Height);
    layout->activate();
    QSize size = minimumSizeHint();
    chartLabel_->setMinimumSize(SurvivalChart::Width / 4, SurvivalChart::Height / 4);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
}

SurvivalResultsView::~SurvivalResultsView() = default;

void SurvivalResultsView::setResult(const QString& runName, const SurvivalResult& result)
{
    runName_ = runName;
    result_ = result;
    setWindowTitle(QStringLiteral("Survival: %1").arg(runName));
    titleLabel_->setText(QStringLiteral("Survival run %1: %2 fish in %3 releases, %4 sites")
                             .arg(runName)
                             .arg(result.histories.size())
                             .arg(result.releases.size())
                             .arg(result.sites.size()));

    QStringList warnings;
    for (const QString& warning : result.warnings)
        warnings.append(warning.startsWith(QLatin1String("***")) ? warning.mid(3) : warning);
    warningsLabel_->setText(warnings.join(u'\n'));
    warningsLabel_->setVisible(!warnings.isEmpty());

    // The earlier result's pages go, and the tab of the same position is shown again.
    const int current = releaseTabs_->currentIndex();
    while (releaseTabs_->count() > 0) {
        QWidget* page = releaseTabs_->widget(0);
        releaseTabs_->removeTab(0);
        delete page;
    }
    for (const SurvivalReleaseResult& release : result.releases)
        releaseTabs_->addTab(releasePage(release), release.name);
    if (current >= 0 && current < releaseTabs_->count())
        releaseTabs_->setCurrentIndex(current);

    cumulativeTable_->setRowCount(0);
    for (const QStringList& cells : SurvivalWriter::cumulativeRows(result)) {
        const int at = cumulativeTable_->rowCount();
        cumulativeTable_->insertRow(at);
        for (int column = 0; column < cells.size(); ++column)
            setText(cumulativeTable_, at, column, cells[column], column >= 2);
    }
    cumulativeTable_->resizeColumnsToContents();

    chart_ = SurvivalChart::render(result);
    saveChartButton_->setEnabled(true);
    showChart();
}

QWidget* SurvivalResultsView::releasePage(const SurvivalReleaseResult& release) const
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* fit = new QLabel(fitText(release));
    fit->setObjectName(QStringLiteral("fitLabel_"));
    fit->setWordWrap(true);
    layout->addWidget(fit);

    // The two tables share the page's height; the user moves the line between them.
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("tablesSplitter_"));
    splitter->setChildrenCollapsible(false);
    QTableWidget* sites = makeTable(SiteColumns, "sitesTable_");
    fillSites(sites, release);
    splitter->addWidget(sites);

    auto* lower = new QWidget;
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    if (release.estimated && !result_.sites.isEmpty()) {
        auto* note = new QLabel(
            QStringLiteral("The last site, %1, has no p and no cumulative survival of its own: "
                           "only beta, the last reach's survival times its p, can be estimated.")
                .arg(result_.sites.last()));
        note->setObjectName(QStringLiteral("lastSiteLabel_"));
        note->setWordWrap(true);
        lowerLayout->addWidget(note);
    }
    QTableWidget* estimates = makeTable(EstimateColumns, "estimatesTable_");
    fillEstimates(estimates, release);
    lowerLayout->addWidget(estimates, 1);
    splitter->addWidget(lower);
    layout->addWidget(splitter, 1);
    return page;
}

void SurvivalResultsView::fillSites(QTableWidget* table, const SurvivalReleaseResult& release) const
{
    const qsizetype n = result_.sites.size();
    table->setRowCount(int(n));
    const CjsFit& fit = release.fit;
    for (qsizetype i = 0; i < n; ++i) {
        const int row = int(i);
        setText(table, row, 0, result_.sites[i], false);
        setText(table, row, 1,
                i < release.detected.size() ? QString::number(release.detected[i]) : QString(),
                true);
        // The last site's p and the survival to it are not estimable on their own.
        if (release.estimated && size_t(i) < fit.p.size())
            setEstimate(table, row, 2, fit.p[size_t(i)]);
        if (release.estimated && size_t(i) < fit.cumulativeSurvival.size())
            setEstimate(table, row, 5, fit.cumulativeSurvival[size_t(i)]);
        for (int column = 2; column < table->columnCount(); ++column)
            if (!table->item(row, column))
                setText(table, row, column, QString(), true);
    }
    table->resizeColumnsToContents();
}

void SurvivalResultsView::fillEstimates(QTableWidget* table,
                                        const SurvivalReleaseResult& release) const
{
    // The release's rows of the estimates file, numbers aligned right.
    for (const QStringList& cells : SurvivalWriter::estimateRows(result_, release)) {
        const int at = table->rowCount();
        table->insertRow(at);
        for (int column = 0; column < cells.size(); ++column)
            setText(table, at, column, cells[column], column >= 4);
    }
    table->resizeColumnsToContents();
}

bool SurvivalResultsView::saveChart(const QString& path, QString* error) const
{
    if (chart_.isNull()) {
        if (error)
            *error = QStringLiteral("There is no chart to save.");
        return false;
    }
    return SurvivalWriter::writeImage(path, chart_, error);
}

void SurvivalResultsView::saveChartAs()
{
    if (chart_.isNull())
        return;
    WidgetDialogs platform;
    Dialogs& dialogs = dialogs_ ? *dialogs_ : platform;
    const QString folder = Settings::instance().value(Settings::OutDir).toString();
    const QString proposed =
        QDir(folder.isEmpty() ? QDir::homePath() : folder)
            .filePath(safeFileName(runName_) + QStringLiteral("_survival.png"));
    QString path = dialogs.saveFileName(this, QStringLiteral("Save Chart"), proposed,
                                        QStringLiteral("PNG images (*.png);;All files (*)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    QString error;
    if (!saveChart(path, &error)) {
        dialogs.critical(this, Settings::instance().fixedValue(Settings::ProgramName).toString(),
                         error);
        return;
    }
    emit chartSaved(path);
}

bool SurvivalResultsView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == chartLabel_ && event->type() == QEvent::Resize)
        showChart();
    return QWidget::eventFilter(watched, event);
}

void SurvivalResultsView::showChart()
{
    if (chart_.isNull()) {
        chartLabel_->clear();
        return;
    }
    // Full size when there is room for it; scaled down, never up, when there is not.
    const QSize room = chartLabel_->size();
    if (room.width() >= chart_.width() && room.height() >= chart_.height()) {
        chartLabel_->setPixmap(QPixmap::fromImage(chart_));
        return;
    }
    const qreal ratio = chartLabel_->devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(
        chart_.scaled(room * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    chartLabel_->setPixmap(pixmap);
}

} // namespace kd
