#include "SurvivalTestStudy.h"
#include "TestSupport.h"
#include "base/Settings.h"
#include "processing/CsvField.h"
#include "survival/SurvivalAnalysis.h"
#include "survival/SurvivalChart.h"
#include "survival/SurvivalWriter.h"
#include "ui/Dialogs.h"
#include "ui/SurvivalResultsView.h"

#include <QtTest>
#include <QtWidgets>

using namespace kd;

namespace {

// Answers Save Chart's file chooser with a planned name and records what was asked.
struct ScriptedDialogs : Dialogs
{
    QString answer;
    QStringList proposed, criticals;
    void critical(QWidget*, const QString&, const QString& text) override { criticals << text; }
    bool confirm(QWidget*, const QString&, const QString&) override { return false; }
    QString existingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString& startPath,
                         const QString&) override
    {
        proposed << startPath;
        return answer;
    }
};

// The small study with one site only, or without the fish of the other releases than Spring.
SurvivalStudy changedStudy(const QString& change)
{
    SurvivalStudy study = survivalTestStudy();
    if (change == "one site") {
        study.sites = study.sites.mid(0, 1);
        study.siteRiverKm.resize(1);
        for (SurvivalFish& fish : study.fish)
            fish.codes.resize(1);
    } else if (change == "Spring only") {
        QList<SurvivalFish> spring;
        for (const SurvivalFish& fish : study.fish)
            if (fish.releaseName == "Spring")
                spring.append(fish);
        study.fish = spring;
    }
    return study;
}

// The rows of a table, cells joined by `separator`, or each cell as a field of the estimates
// file.
QStringList rows(const QTableWidget* table, const QString& separator)
{
    QStringList all;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* item = table->item(row, column);
            const QString text = item ? item->text() : "<none>";
            cells << (separator == "," ? csvField(text) : text);
        }
        all << cells.join(separator);
    }
    return all;
}

int paintedPixels(const QImage& image)
{
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += (image.pixel(x, y) & 0xffffff) != 0xffffff;
    return painted;
}

} // namespace

class TestSurvivalResultsView : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    template <typename T>
    static T* child(QObject* parent, const char* name)
    {
        T* found = parent->findChild<T*>(QString::fromLatin1(name));
        return found ? found : (qFatal("no child %s", name), nullptr);
    }
    static QWidget* page(SurvivalResultsView& view, int release)
    {
        return child<QTabWidget>(&view, "releaseTabs_")->widget(release);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        Settings::instance().setValue(Settings::OutDir, dir_.path());
    }

    void estimatesAsTheFile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("iterations");
        QTest::addColumn<QList<int>>("rowsPerRelease");
        QTest::newRow("small study") << "" << 100 << QList<int>{5, 5, 0};
        QTest::newRow("fit not converged") << "" << 1 << QList<int>{5, 5, 0};
        QTest::newRow("one site: beta from the release")
            << "one site" << 100 << QList<int>{1, 1, 0};
    }
    // Each release's table holds that release's lines of the estimates file, cell for cell.
    void estimatesAsTheFile()
    {
        QFETCH(QString, change);
        QFETCH(int, iterations);
        QFETCH(QList<int>, rowsPerRelease);
        CjsFitter::Options options;
        options.maxIterations = iterations;
        const SurvivalResult result = SurvivalAnalysis::analyse(changedStudy(change), options);
        SurvivalResultsView view;
        view.setResult("Run", result);

        const QStringList lines = SurvivalWriter::estimateLines(result);
        QCOMPARE(child<QTabWidget>(&view, "releaseTabs_")->count(), rowsPerRelease.size());
        QStringList shown;
        for (int r = 0; r < rowsPerRelease.size(); ++r) {
            const auto* table = child<QTableWidget>(page(view, r), "estimatesTable_");
            const QStringList tableRows = rows(table, ",");
            QCOMPARE(tableRows.size(), rowsPerRelease[r]);
            shown << tableRows;
        }
        QCOMPARE(shown, lines.mid(1));
        const auto* header = child<QTableWidget>(page(view, 0), "estimatesTable_");
        QStringList columns;
        for (int column = 0; column < header->columnCount(); ++column)
            columns << header->horizontalHeaderItem(column)->text();
        QCOMPARE(columns.join(','), lines.first());
    }

    void cumulativeAsTheFile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("rowCount");
        QTest::newRow("small study") << "" << 4;
        // One site: no cumulative survival of its own (only beta).
        QTest::newRow("one site") << "one site" << 0;
    }
    // The cumulative tab holds the lines of the cumulative file, cell for cell, and is filled
    // again with the next result.
    void cumulativeAsTheFile()
    {
        QFETCH(QString, change);
        QFETCH(int, rowCount);
        SurvivalResultsView view;
        view.setResult("Before", SurvivalAnalysis::analyse(survivalTestStudy()));
        const SurvivalResult result = SurvivalAnalysis::analyse(changedStudy(change));
        view.setResult("Run", result);
        const QStringList lines = SurvivalWriter::cumulativeLines(result);
        const auto* table = child<QTableWidget>(&view, "cumulativeTable_");
        QCOMPARE(table->rowCount(), rowCount);
        QCOMPARE(rows(table, ","), lines.mid(1));
        QStringList columns;
        for (int column = 0; column < table->columnCount(); ++column)
            columns << table->horizontalHeaderItem(column)->text();
        QCOMPARE(columns.join(','), lines.first());
    }

    void perSiteSummary_data()
    {
        QTest::addColumn<int>("release");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("fit");
        QTest::addColumn<QStringList>("sites");
        // Every p is 1, so the phi are independent proportions and the survival to Middle,
        // 0.75 * 4/6, has the variance (4/6)² 0.75·0.25/8 + 0.75² (4/6)(2/6)/6 = 1/32.
        QTest::newRow("Spring")
            << 0 << "Spring"
            << "8 fish, 1 removed on capture. −2 ln L 20.454617, 3 parameters, converged."
            << QStringList{"Upper|6|1.000000|0.618667|1.000000|0.750000|0.377143|0.936963",
                           "Middle|4|1.000000|0.470057|1.000000|0.500000|0.200062|0.799938",
                           "Lower, east|2||||||"};
        QTest::newRow("survival at its bound")
            << 1 << "Summer, late"
            << "4 fish, 0 removed on capture. −2 ln L 8.317766, 2 parameters, converged."
            << QStringList{"Upper|4|1.000000|0.618667|1.000000|1.000000|0.618667|1.000000",
                           "Middle|3|1.000000|0.392003|1.000000|0.750000|0.237840|0.966489",
                           "Lower, east|2||||||"};
        QTest::newRow("no detections")
            << 2 << "Dry"
            << "2 fish, 0 removed on capture. No fish was detected at any site: no estimates."
            << QStringList{"Upper|0||||||", "Middle|0||||||", "Lower, east|0||||||"};
    }
    // Per site: fish detected, p and cumulative survival with their intervals; the last site
    // has neither estimate.
    void perSiteSummary()
    {
        QFETCH(int, release);
        QFETCH(QString, tab);
        QFETCH(QString, fit);
        QFETCH(QStringList, sites);
        SurvivalResultsView view;
        view.setResult("Run", SurvivalAnalysis::analyse(survivalTestStudy()));
        QCOMPARE(child<QTabWidget>(&view, "releaseTabs_")->tabText(release), tab);
        QCOMPARE(child<QLabel>(page(view, release), "fitLabel_")->text(), fit);
        QCOMPARE(rows(child<QTableWidget>(page(view, release), "sitesTable_"), "|"), sites);
    }

    // The analysis' warnings are shown, without the log's stars; filled again, the view drops
    // the earlier result's tabs and warnings.
    void warningsAndRefill()
    {
        SurvivalResultsView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const SurvivalResult first = SurvivalAnalysis::analyse(survivalTestStudy());
        view.setResult("First", first);
        auto* warnings = child<QLabel>(&view, "warningsLabel_");
        QVERIFY(warnings->isVisible());
        QCOMPARE(first.warnings.size(), 5);
        QCOMPARE(warnings->text(), first.warnings.join(u'\n').remove(QStringLiteral("***")));
        QVERIFY(warnings->text().startsWith("Warning: Survival \"\", release Spring: p Upper"));

        const SurvivalResult second = SurvivalAnalysis::analyse(changedStudy("Spring only"));
        view.setResult("Second", second);
        QCOMPARE(warnings->text(), second.warnings.join(u'\n').remove(QStringLiteral("***")));
        QVERIFY(!warnings->text().contains("Summer"));
        auto* tabs = child<QTabWidget>(&view, "releaseTabs_");
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), "Spring");
        QCOMPARE(view.findChildren<QTableWidget*>("sitesTable_").size(), 1);
        QCOMPARE(view.windowTitle(), "Survival: Second");
    }

    // The window opens with room for the chart at full size on its tab; a window made smaller
    // shows it scaled down, whole and not blank.
    void chartShown()
    {
        SurvivalResultsView view;
        auto* save = child<QPushButton>(&view, "saveChartButton_");
        QVERIFY(!save->isEnabled());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setResult("Run", SurvivalAnalysis::analyse(survivalTestStudy()));
        QVERIFY(save->isEnabled());
        QCOMPARE(view.chart().size(), QSize(SurvivalChart::Width, SurvivalChart::Height));
        QVERIFY(paintedPixels(view.chart()) > 5000);

        auto* tabs = child<QTabWidget>(&view, "viewTabs_");
        for (int tab = 0; tab < tabs->count(); ++tab)
            if (tabs->tabText(tab) == "Chart")
                tabs->setCurrentIndex(tab);
        const auto* label = child<QLabel>(&view, "chartLabel_");
        QTRY_VERIFY(label->isVisible());
        QCOMPARE(label->pixmap().size(), QSize(SurvivalChart::Width, SurvivalChart::Height));
        QCOMPARE(label->pixmap().toImage().convertToFormat(view.chart().format()), view.chart());

        view.resize(700, 500);
        QTRY_VERIFY(label->pixmap().width() < SurvivalChart::Width);
        const QImage shown = label->pixmap().toImage();
        const QSize room = label->size() * label->devicePixelRatioF();
        QVERIFY(shown.width() <= room.width() && shown.height() <= room.height());
        QVERIFY(shown.width() == room.width() || shown.height() == room.height());
        QVERIFY(qAbs(shown.width() * 3 - shown.height() * 5) <= 5);
        QVERIFY2(paintedPixels(shown) > shown.width() * shown.height() / 50,
                 qPrintable(QString::number(paintedPixels(shown))));
    }

    // On a 1280 × 800 screen the window fits, and the tables share the page's height between
    // them: the small study's rows all show, with no scrolling.
    void tablesUseTheHeight()
    {
        SurvivalResultsView view;
        view.setResult("Run", SurvivalAnalysis::analyse(survivalTestStudy()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QRect screen = view.screen()->availableGeometry();
        QVERIFY2(view.width() <= screen.width() && view.height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(view.width()).arg(view.height())));
        QWidget* shown = page(view, 0);
        const auto* splitter = child<QSplitter>(shown, "tablesSplitter_");
        const auto* fit = child<QLabel>(shown, "fitLabel_");
        QVERIFY(splitter->height() + fit->height() > shown->height() - 40);
        for (const char* name : {"sitesTable_", "estimatesTable_"}) {
            const auto* table = child<QTableWidget>(shown, name);
            QCOMPARE(table->verticalScrollBar()->maximum(), 0);
            QVERIFY2(table->height() > splitter->height() / 3, name);
        }
    }

    void copy_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QList<int>>("selected"); // rows; none: the whole table
        QTest::newRow("sites, all") << "sitesTable_" << QList<int>{};
        QTest::newRow("sites, two rows") << "sitesTable_" << QList<int>{2, 0};
        QTest::newRow("estimates, all") << "estimatesTable_" << QList<int>{};
        QTest::newRow("estimates, one row") << "estimatesTable_" << QList<int>{1};
    }
    // Copy (context menu or Ctrl+C) puts the table on the clipboard as tab-separated text with
    // its header line, the selected rows in table order or all of them.
    void copy()
    {
        QFETCH(QString, table);
        QFETCH(QList<int>, selected);
        SurvivalResultsView view;
        view.setResult("Run", SurvivalAnalysis::analyse(survivalTestStudy()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto* shown = child<QTableWidget>(page(view, 0), qPrintable(table));
        for (int row : selected)
            shown->selectionModel()->select(shown->model()->index(row, 0),
                                            QItemSelectionModel::Select |
                                                QItemSelectionModel::Rows);
        QCOMPARE(shown->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(shown->actions().size(), 1);
        QCOMPARE(shown->actions().first()->text(), "Copy");
        QGuiApplication::clipboard()->clear();
        shown->setFocus();
        QTest::keySequence(shown, QKeySequence::Copy);
        const QStringList copied = QGuiApplication::clipboard()->text().split('\n');
        const qsizetype lines = selected.isEmpty() ? shown->rowCount() : selected.size();
        QVERIFY(lines > 0);
        QCOMPARE(copied.size(), lines + 2); // the header, the rows and the last line's end
        QCOMPARE(copied.last(), "");
        QStringList header;
        for (int column = 0; column < shown->columnCount(); ++column)
            header << shown->horizontalHeaderItem(column)->text();
        QCOMPARE(copied.first(), header.join('\t'));
        QList<int> rows = selected;
        std::sort(rows.begin(), rows.end());
        if (rows.isEmpty())
            for (int row = 0; row < shown->rowCount(); ++row)
                rows << row;
        for (int i = 0; i < rows.size(); ++i) {
            QStringList cells;
            for (int column = 0; column < shown->columnCount(); ++column)
                cells << shown->item(rows[i], column)->text();
            QCOMPARE(copied[i + 1], cells.join('\t'));
        }
    }

    void saveChart_data()
    {
        QTest::addColumn<QString>("answer"); // in the temporary folder; empty: canceled
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("fails");
        QTest::newRow("png name") << "chart.png"
                                  << "chart.png" << false;
        QTest::newRow("no suffix: .png added") << "chart"
                                               << "chart.png" << false;
        QTest::newRow("canceled") << ""
                                  << "" << false;
        QTest::newRow("missing folder") << "missing/chart.png"
                                        << "" << true;
    }
    // Save Chart proposes NAME_survival.png in the output folder and writes the chart, 1000 ×
    // 600, where the chooser answered; a failure is reported and writes nothing.
    void saveChart()
    {
        QFETCH(QString, answer);
        QFETCH(QString, written);
        QFETCH(bool, fails);
        QTemporaryDir target;
        ScriptedDialogs dialogs;
        dialogs.answer = answer.isEmpty() ? QString() : target.filePath(answer);
        SurvivalResultsView view;
        view.setDialogs(&dialogs);
        view.setResult("Run: one", SurvivalAnalysis::analyse(survivalTestStudy()));
        QSignalSpy saved(&view, &SurvivalResultsView::chartSaved);

        child<QPushButton>(&view, "saveChartButton_")->click();
        QCOMPARE(dialogs.proposed,
                 QStringList(QDir(dir_.path()).filePath("Run_ one_survival.png")));
        QCOMPARE(dialogs.criticals.size(), fails ? 1 : 0);
        if (fails)
            QVERIFY2(dialogs.criticals.first().contains("chart.png"),
                     qPrintable(dialogs.criticals.first()));
        QStringList files;
        QDirIterator it(target.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(target.path()).relativeFilePath(it.next());
        QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList(written));
        QCOMPARE(saved.size(), written.isEmpty() ? 0 : 1);
        if (written.isEmpty())
            return;
        QCOMPARE(saved.first().first().toString(), target.filePath(written));
        QImage image;
        QVERIFY(image.load(target.filePath(written), "PNG"));
        QCOMPARE(image.size(), QSize(1000, 600));
        QCOMPARE(image.convertToFormat(QImage::Format_ARGB32),
                 view.chart().convertToFormat(QImage::Format_ARGB32));
    }
};

int main(int argc, char** argv)
{
    // The user's own settings stay untouched.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    kd::test::useOffscreenScreen(config.path(), 1280, 800);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
    TestSurvivalResultsView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_survivalresultsview.moc"
