#include "ui/RunDefWizard.h"

#include "base/DateTimeText.h"
#include "run/RunKinds.h"
#include "store/DataProvider.h"
#include "ui/DefinitionBuilder.h"
#include "ui/QueryViewManager.h"
#include "ui/ViewKind.h"
#include "ui_RunDefWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace kd {

RunDefWizard::RunDefWizard(QueryViewManager* views, QWidget* parent)
    : QWizard(parent), ui_(std::make_unique<Ui::RunDefWizard>()), views_(views)
{
    ui_->setupUi(this);
    connect(this, &QWizard::currentIdChanged, this, &RunDefWizard::onCurrentIdChanged);
    ui_->outputTypeComboBox_->clear();
    // Each item carries its format code: the codes are not the item positions.
    for (const RunKind& kind : RunKinds::all()) {
        if (kind.onDesktop())
            ui_->outputTypeComboBox_->addItem(kind.desktopLabel(), int(kind.format));
    }
    // A bound at fault shows red while it is typed, with the reason under the fields.
    connect(ui_->windowStartLineEdit_, &QLineEdit::textChanged, this, &RunDefWizard::markWindow);
    connect(ui_->windowEndLineEdit_, &QLineEdit::textChanged, this, &RunDefWizard::markWindow);
    ui_->windowProblemLabel_->hide();
    // Intervals are a matter of the survival fit only.
    connect(ui_->outputTypeComboBox_, &QComboBox::currentIndexChanged, this, [this] {
        ui_->profileIntervalsCheckBox_->setEnabled(ui_->outputTypeComboBox_->currentData() ==
                                                   int(RunDefinition::Survival));
    });
    ui_->profileIntervalsCheckBox_->setEnabled(false);
    connect(ui_->clearSettingsButton_, &QPushButton::clicked, this, &RunDefWizard::clearSettings);
    showStartingFrom(false);
}

RunDefWizard::~RunDefWizard() = default;

void RunDefWizard::setMode(int mode)
{
    setWindowTitle(mode == EditMode ? QStringLiteral("Edit Run Definition")
                                    : QStringLiteral("Add Run Definition"));
    // A new run starts from the pages as the last run left them; that is easy to miss.
    showStartingFrom(mode != EditMode && !startingFrom_.isEmpty());
}

void RunDefWizard::showStartingFrom(bool shown)
{
    ui_->startingFromLabel_->setText(
        shown ? QStringLiteral("Starting from the settings of run %1").arg(startingFrom_)
              : QString());
    ui_->startingFromLabel_->setVisible(shown);
    ui_->clearSettingsButton_->setVisible(shown);
}

void RunDefWizard::clearSettings()
{
    run_ = RunDefinition();
    ui_->runNameLineEdit_->clear();
    ui_->outputTypeComboBox_->setCurrentIndex(0);
    ui_->profileIntervalsCheckBox_->setChecked(false);
    ui_->windowStartLineEdit_->clear();
    ui_->windowEndLineEdit_->clear();
    for (QTableView* view : {releasesView(), sitesView()})
        view->clearSelection();
    startingFrom_.clear();
    showStartingFrom(false);
}

void RunDefWizard::accept()
{
    startingFrom_ = run_.name;
    QWizard::accept();
}

void RunDefWizard::markWindow()
{
    QDateTime start, end;
    const QString problem = checkWindow(start, end);
    ui_->windowProblemLabel_->setText(problem);
    ui_->windowProblemLabel_->setVisible(!problem.isEmpty());
}

QTableView* RunDefWizard::releasesView() const
{
    return ui_->definedReleasesTableView_;
}

QTableView* RunDefWizard::sitesView() const
{
    return ui_->definedSitesTableView_;
}

void RunDefWizard::setRun(const RunDefinition& run)
{
    run_ = run;
    startingFrom_ = run.name;
    ui_->runNameLineEdit_->setText(run.name);
    const int formatIndex = ui_->outputTypeComboBox_->findData(run.format);
    if (formatIndex >= 0)
        ui_->outputTypeComboBox_->setCurrentIndex(formatIndex);
    ui_->profileIntervalsCheckBox_->setChecked(run.profileIntervals);
    selectIds(WizardReleasesView, run.releaseIds);
    selectIds(WizardSitesView, run.siteIds);
    ui_->windowStartLineEdit_->setText(DateTimeText::format(run.windowStart));
    ui_->windowEndLineEdit_->setText(DateTimeText::format(run.windowEnd));
}

void RunDefWizard::selectIds(int kind, const QList<int>& ids)
{
    QTableView* view = views_->view(kind);
    if (!view || !view->model())
        return;
    view->clearSelection();
    const int rows = view->model()->rowCount();
    for (int row = 0; row < rows; ++row) {
        if (ids.contains(views_->record(kind, row).value(QStringLiteral("id")).toInt())) {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
}

void RunDefWizard::initializePage(int id)
{
    if (id == ReviewPage) {
        collectPages();
        writeSummary();
    }
    QWizard::initializePage(id);
}

void RunDefWizard::onCurrentIdChanged(int id)
{
    fitSubTitle();
    if (id == ReviewPage)
        ui_->reviewPage_->setRunComplete(run_.validate() && windowProblem_.isEmpty());
}

void RunDefWizard::fitSubTitle()
{
    // The modern style's header keeps two lines for a subtitle; the releases page needs three.
    const QWizardPage* page = currentPage();
    if (!page)
        return;
    const QList<QLabel*> labels = findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->wordWrap() && label->text() == page->subTitle() && !page->isAncestorOf(label)) {
            const int needed =
                label->heightForWidth(std::max(label->width(), label->minimumWidth()));
            if (needed <= label->minimumHeight())
                continue;
            label->setMinimumHeight(needed);
            // The header has a fixed height of its own.
            if (QWidget* header = label->parentWidget())
                header->setFixedHeight(std::max(header->height(), header->sizeHint().height()));
        }
    }
}

void RunDefWizard::collectPages()
{
    run_.name = ui_->runNameLineEdit_->text();
    const QVariant format = ui_->outputTypeComboBox_->currentData();
    run_.format =
        format.isValid() ? RunDefinition::Format(format.toInt()) : RunDefinition::NotChosen;
    run_.profileIntervals =
        run_.format == RunDefinition::Survival && ui_->profileIntervalsCheckBox_->isChecked();
    run_.releaseIds.clear();
    run_.siteIds.clear();
    releaseNames_.clear();
    siteNames_.clear();
    const auto collect = [this](int kind, QList<int>& ids, QStringList& names) {
        const QList<int> rows = views_->selectedRows(kind);
        for (int row : rows) {
            const QSqlRecord record = views_->record(kind, row);
            ids.append(record.value(QStringLiteral("id")).toInt());
            names.append(record.value(QStringLiteral("name")).toString());
        }
    };
    collect(WizardReleasesView, run_.releaseIds, releaseNames_);
    collect(WizardSitesView, run_.siteIds, siteNames_);
    // The review lists the sites as the run will, downstream; the record keeps the choice.
    if (DataProvider* store = views_->provider()) {
        QStringList ordered;
        for (int id : store->sitesInRiverOrder(run_.siteIds))
            ordered.append(siteNames_.value(run_.siteIds.indexOf(id)));
        siteNames_ = ordered;
    }

    windowProblem_ = checkWindow(run_.windowStart, run_.windowEnd);
    const QString startText = ui_->windowStartLineEdit_->text().trimmed();
    const QString endText = ui_->windowEndLineEdit_->text().trimmed();
    const QString open = QStringLiteral("open");
    windowText_ =
        startText.isEmpty() && endText.isEmpty()
            ? QString()
            : QStringLiteral("%1 to %2")
                  .arg(startText.isEmpty() ? open : startText, endText.isEmpty() ? open : endText);
}

QString RunDefWizard::checkWindow(QDateTime& start, QDateTime& end)
{
    // An empty bound is open; a bound that cannot be read must not silently open the window.
    QLineEdit* startEdit = ui_->windowStartLineEdit_;
    QLineEdit* endEdit = ui_->windowEndLineEdit_;
    const QString startText = startEdit->text().trimmed();
    const QString endText = endEdit->text().trimmed();
    start = DateTimeText::parseStrict(startText);
    end = DateTimeText::parseStrict(endText);
    const bool badStart = !startText.isEmpty() && !start.isValid();
    const bool badEnd = !endText.isEmpty() && !end.isValid();
    const bool reversed = start.isValid() && end.isValid() && start > end;
    startEdit->setStyleSheet(badStart || reversed ? DefinitionBuilder::invalidStyle() : QString());
    endEdit->setStyleSheet(badEnd || reversed ? DefinitionBuilder::invalidStyle() : QString());
    if (badStart)
        return QStringLiteral("Window start is not a date-time (yyyy-MM-dd hh:mm:ss).");
    if (badEnd)
        return QStringLiteral("Window end is not a date-time (yyyy-MM-dd hh:mm:ss).");
    if (reversed)
        return QStringLiteral("The window starts after it ends.");
    return QString();
}

void RunDefWizard::writeSummary()
{
    ui_->summaryTextEdit_->clear();
    QTextDocument* document = ui_->summaryTextEdit_->document();
    QTextCursor cursor(document);

    QFont headingFont = document->defaultFont();
    if (headingFont.pointSize() > 0)
        headingFont.setPointSize(int(headingFont.pointSize() * 1.25));
    headingFont.setWeight(QFont::Bold);
    QTextCharFormat heading;
    heading.setFont(headingFont);
    QTextCharFormat errorHeading = heading;
    errorHeading.setForeground(QBrush(Qt::red, Qt::SolidPattern));

    QTextBlockFormat indented;
    indented.setLeftMargin(10);
    indented.setBottomMargin(20);

    // The document starts with one empty block, which takes the first item.
    bool firstBlock = true;
    const auto startBlock = [&](const QTextBlockFormat& format) {
        if (firstBlock) {
            cursor.setBlockFormat(format);
            firstBlock = false;
        } else {
            cursor.insertBlock(format, QTextCharFormat());
        }
    };

    RunDefinition checked = run_;
    const QString problem = checked.validate() ? windowProblem_ : checked.validationMessage;
    if (!problem.isEmpty()) {
        startBlock(QTextBlockFormat());
        cursor.insertText(QStringLiteral("Error"), errorHeading);
        startBlock(indented);
        cursor.insertText(QStringLiteral("Run definition is not complete: %1").arg(problem),
                          QTextCharFormat());
    }

    QTextBlockFormat title;
    title.setBottomMargin(10);
    startBlock(title);
    cursor.insertText(QStringLiteral("Run Summary"), heading);

    startBlock(indented);
    QTextTableFormat tableFormat;
    tableFormat.setBorder(0);
    tableFormat.setBottomMargin(20);
    tableFormat.setLeftMargin(10);
    // The window's row is there only when the run has a window.
    const int rows = windowText_.isEmpty() ? 4 : 5;
    QTextTable* table = cursor.insertTable(rows, 2, tableFormat);
    const QString none = QStringLiteral(" None");
    const QString values[5][2] = {
        {QStringLiteral("Name:"), run_.name.isEmpty() ? QStringLiteral("None") : run_.name},
        {QStringLiteral("Format:"),
         RunDefinition::formatName(run_.format) +
             (run_.profileIntervals ? QStringLiteral(", profile-likelihood intervals")
                                    : QString())},
        {QStringLiteral("Releases:"),
         releaseNames_.isEmpty() ? none : releaseNames_.join(QLatin1Char(','))},
        {QStringLiteral("Sites:"), siteNames_.isEmpty() ? none : siteNames_.join(QLatin1Char(','))},
        {QStringLiteral("Detection window:"), windowText_},
    };
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < 2; ++column)
            table->cellAt(row, column).firstCursorPosition().insertText(values[row][column]);
    }
}

} // namespace kd
