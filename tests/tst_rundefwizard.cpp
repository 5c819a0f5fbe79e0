#include "store/RunDefinition.h"
#include "store/SQLiteDataProvider.h"
#include "ui/QueryModelCache.h"
#include "ui/QueryViewManager.h"
#include "ui/RunDefWizard.h"
#include "ui/ViewKind.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using namespace kd;

class TestRunDefWizard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void validate_data();
    void validate();
    void modeSetsTitle_data();
    void modeSetsTitle();
    void collectsPagesInSelectionOrder();
    void incompleteRunDisablesFinish_data();
    void incompleteRunDisablesFinish();
    void reviewIsRebuiltAfterGoingBack();
    void setRunSelectsItsReleasesAndSites();

private:
    void clickRows(QTableView* view, const QList<int>& rows);
    QString summary() const;
    QAbstractButton* finishButton() const { return wizard_->button(QWizard::FinishButton); }
    void goToReview();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    std::unique_ptr<QueryModelCache> cache_;
    std::unique_ptr<QueryViewManager> views_;
    std::unique_ptr<RunDefWizard> wizard_;
};

void TestRunDefWizard::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    QSqlQuery query;
    // Shown by river kilometre, highest first: rows 0 Upper (3), 1 Middle (1), 2 Lower (2).
    QVERIFY(query.exec("insert into releases (id, name, release_location_river_kilometer) values "
                       "(1, 'Middle', 200), (2, 'Lower', 100), (3, 'Upper', 300)"));
    // Rows 0 S3 (3), 1 S1 (1), 2 S2 (2).
    QVERIFY(query.exec("insert into sites (id, name, river_kilometer) values (1, 'S1', 50), "
                       "(2, 'S2', 20), (3, 'S3', 90)"));
    cache_ = std::make_unique<QueryModelCache>();
    views_ = std::make_unique<QueryViewManager>(provider_.get(), cache_.get());
    wizard_ = std::make_unique<RunDefWizard>(views_.get());
    views_->bind(WizardReleasesView, wizard_->releasesView());
    views_->bind(WizardSitesView, wizard_->sitesView());
    wizard_->show();
    QVERIFY(QTest::qWaitForWindowExposed(wizard_.get()));
}

void TestRunDefWizard::cleanup()
{
    wizard_.reset();
    views_.reset();
    cache_.reset();
    provider_.reset();
    dir_.reset();
}

void TestRunDefWizard::clickRows(QTableView* view, const QList<int>& rows)
{
    for (int row : rows) {
        const QRect rect = view->visualRect(view->model()->index(row, 1));
        QVERIFY(rect.isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }
}

QString TestRunDefWizard::summary() const
{
    return wizard_->findChild<QTextEdit*>(QStringLiteral("summaryTextEdit_"))->toPlainText();
}

void TestRunDefWizard::goToReview()
{
    while (wizard_->currentId() != RunDefWizard::ReviewPage) {
        const int before = wizard_->currentId();
        wizard_->next();
        QVERIFY(wizard_->currentId() != before);
    }
}

void TestRunDefWizard::validate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::addColumn<QList<int>>("releases");
    QTest::addColumn<QList<int>>("sites");
    QTest::addColumn<QString>("message");

    const QList<int> none;
    QTest::newRow("complete") << "run" << 0 << QList<int>{1} << QList<int>{1, 2} << "";
    QTest::newRow("standard") << "run" << 1 << QList<int>{1, 2} << QList<int>{3, 1, 2} << "";
    QTest::newRow("blank name passes") << "   " << 1 << QList<int>{1} << QList<int>{1, 2} << "";
    QTest::newRow("empty name") << "" << 0 << QList<int>{1} << QList<int>{1, 2}
                                << "Name can't be empty";
    QTest::newRow("format not chosen")
        << "run" << 2 << QList<int>{1} << QList<int>{1, 2} << "No format selected";
    QTest::newRow("no release") << "run" << 0 << none << QList<int>{1, 2}
                                << "Must select at least 1 release.";
    QTest::newRow("one site") << "run" << 0 << QList<int>{1} << QList<int>{1}
                              << "Must select at least 2 sites.";
    QTest::newRow("first failure wins")
        << "run" << 0 << none << QList<int>{1} << "Must select at least 1 release.";
    QTest::newRow("nothing at all") << "" << 2 << none << none << "Name can't be empty";
}

void TestRunDefWizard::validate()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    QFETCH(QList<int>, releases);
    QFETCH(QList<int>, sites);
    QFETCH(QString, message);
    RunDefinition run;
    QCOMPARE(run.format, int(RunDefinition::NotChosen));
    run.name = name;
    run.format = format;
    run.releaseIds = releases;
    run.siteIds = sites;
    run.validationMessage = QStringLiteral("left from before");
    QCOMPARE(run.validate(), message.isEmpty());
    QCOMPARE(run.validationMessage, message);
}

void TestRunDefWizard::modeSetsTitle_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::newRow("add") << 0 << "Add Run Definition";
    QTest::newRow("edit") << 1 << "Edit Run Definition";
    QTest::newRow("other") << 7 << "Add Run Definition";
}

void TestRunDefWizard::modeSetsTitle()
{
    QFETCH(int, mode);
    QFETCH(QString, title);
    wizard_->setMode(mode);
    QCOMPARE(wizard_->windowTitle(), title);
    QCOMPARE(wizard_->mode(), mode);
}

void TestRunDefWizard::collectsPagesInSelectionOrder()
{
    QCOMPARE(wizard_->currentId(), int(RunDefWizard::InfoPage));
    auto* combo = wizard_->findChild<QComboBox*>(QStringLiteral("outputTypeComboBox_"));
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("KAVEL"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Standard"));
    QTest::keyClicks(wizard_->findChild<QLineEdit*>(QStringLiteral("runNameLineEdit_")),
                     QStringLiteral("Spring"));
    combo->setCurrentIndex(1);

    wizard_->next();
    clickRows(wizard_->releasesView(), {2, 0});
    wizard_->next();
    clickRows(wizard_->sitesView(), {1, 0, 2});
    // A second click leaves a site out again.
    clickRows(wizard_->sitesView(), {2});
    wizard_->next();
    QCOMPARE(wizard_->currentId(), int(RunDefWizard::ReviewPage));

    const RunDefinition& run = wizard_->run();
    QCOMPARE(run.name, QStringLiteral("Spring"));
    QCOMPARE(run.format, int(RunDefinition::Standard));
    QCOMPARE(run.releaseIds, QList<int>({2, 3}));
    QCOMPARE(run.siteIds, QList<int>({1, 3}));

    const QString text = summary();
    QVERIFY2(!text.contains(QStringLiteral("Error")), qPrintable(text));
    QVERIFY(text.startsWith(QStringLiteral("Run Summary")));
    QVERIFY2(text.contains(QStringLiteral("Name:\nSpring\nFormat:\nStandard\nReleases:\n"
                                          "Lower,Upper\nSites:\nS1,S3")),
             qPrintable(text));
    QVERIFY(finishButton()->isEnabled());
}

void TestRunDefWizard::incompleteRunDisablesFinish_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("releaseRows");
    QTest::addColumn<QList<int>>("siteRows");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("table");

    QTest::newRow("one site") << "r" << QList<int>{0} << QList<int>{1}
                              << "Must select at least 2 sites."
                              << "Name:\nr\nFormat:\nKAVEL\nReleases:\nUpper\nSites:\nS1";
    QTest::newRow("no release and one site")
        << "r" << QList<int>{} << QList<int>{0} << "Must select at least 1 release."
        << "Name:\nr\nFormat:\nKAVEL\nReleases:\n None\nSites:\nS3";
    QTest::newRow("nothing") << "" << QList<int>{} << QList<int>{} << "Name can't be empty"
                             << "Name:\nNone\nFormat:\nKAVEL\nReleases:\n None\nSites:\n None";
}

void TestRunDefWizard::incompleteRunDisablesFinish()
{
    QFETCH(QString, name);
    QFETCH(QList<int>, releaseRows);
    QFETCH(QList<int>, siteRows);
    QFETCH(QString, message);
    QFETCH(QString, table);

    wizard_->findChild<QLineEdit*>(QStringLiteral("runNameLineEdit_"))->setText(name);
    wizard_->next();
    clickRows(wizard_->releasesView(), releaseRows);
    wizard_->next();
    clickRows(wizard_->sitesView(), siteRows);
    wizard_->next();

    const QString text = summary();
    QVERIFY2(text.startsWith(QStringLiteral("Error\nRun definition is not complete: ") + message +
                             QStringLiteral("\nRun Summary\n")),
             qPrintable(text));
    QVERIFY2(text.contains(table), qPrintable(text));
    QVERIFY(!finishButton()->isEnabled());
    QCOMPARE(wizard_->run().validationMessage, message);

    const QTextBlock first =
        wizard_->findChild<QTextEdit*>(QStringLiteral("summaryTextEdit_"))->document()->begin();
    QCOMPARE(first.text(), QStringLiteral("Error"));
    QCOMPARE(first.begin().fragment().charFormat().foreground().color(), QColor(Qt::red));
}

void TestRunDefWizard::reviewIsRebuiltAfterGoingBack()
{
    wizard_->findChild<QLineEdit*>(QStringLiteral("runNameLineEdit_"))->setText("r");
    wizard_->next();
    clickRows(wizard_->releasesView(), {1});
    wizard_->next();
    clickRows(wizard_->sitesView(), {0});
    wizard_->next();
    QVERIFY(!finishButton()->isEnabled());

    wizard_->back();
    clickRows(wizard_->sitesView(), {2});
    wizard_->next();
    QVERIFY(finishButton()->isEnabled());
    QVERIFY(!summary().contains(QStringLiteral("Error")));
    QCOMPARE(wizard_->run().siteIds, QList<int>({3, 2}));
}

void TestRunDefWizard::setRunSelectsItsReleasesAndSites()
{
    RunDefinition run;
    run.id = 7;
    run.name = QStringLiteral("Edited");
    run.format = RunDefinition::Standard;
    run.releaseIds = {2};
    run.siteIds = {1, 3};
    // A selection left from before must not survive.
    clickRows(wizard_->releasesView(), {0});
    wizard_->setRun(run);
    wizard_->restart();
    wizard_->setMode(RunDefWizard::EditMode);

    QCOMPARE(wizard_->findChild<QLineEdit*>(QStringLiteral("runNameLineEdit_"))->text(), run.name);
    QCOMPARE(wizard_->findChild<QComboBox*>(QStringLiteral("outputTypeComboBox_"))->currentIndex(),
             1);
    goToReview();
    QCOMPARE(wizard_->run().id, 7);
    QCOMPARE(wizard_->run().releaseIds, QList<int>({2}));
    QList<int> sites = wizard_->run().siteIds;
    std::sort(sites.begin(), sites.end());
    QCOMPARE(sites, QList<int>({1, 3}));
    QVERIFY(finishButton()->isEnabled());
}

QTEST_MAIN(TestRunDefWizard)
#include "tst_rundefwizard.moc"
