#include "processing/KavelDataProcessor.h"
#include "processing/StandardDataProcessor.h"
#include "run/RunKinds.h"
#include "run/RunPlan.h"

#include <QTest>

using namespace kd;

class TestRunKinds : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data()
    {
        QTest::addColumn<QString>("consoleName");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("computation");
        QTest::addColumn<QString>("layout"); // the processor a Histories kind makes
        QTest::newRow("kavel") << "kavel" << int(RunDefinition::Kavel) << int(RunKind::Histories)
                               << "KAVEL";
        QTest::newRow("standard") << "standard" << int(RunDefinition::Standard)
                                  << int(RunKind::Histories) << "Standard";
        QTest::newRow("survival") << "survival" << int(RunDefinition::Survival)
                                  << int(RunKind::Survival) << "";
        QTest::newRow("false_events")
            << "false_events" << int(RunDefinition::NotChosen) << int(RunKind::FalseEvents) << "";
    }
    // Each console type finds its kind, and each desktop kind is found again by its code.
    void kinds()
    {
        QFETCH(QString, consoleName);
        QFETCH(int, format);
        QFETCH(int, computation);
        QFETCH(QString, layout);
        const RunKind* kind = RunKinds::byConsoleName(consoleName);
        QVERIFY(kind);
        QCOMPARE(int(kind->format), format);
        QCOMPARE(int(kind->computation), computation);
        if (kind->onDesktop())
            QCOMPARE(&RunKinds::byFormat(kind->format), kind);
        QCOMPARE(bool(kind->layout), !layout.isEmpty());
        if (kind->layout) {
            const std::unique_ptr<FishProcessor> processor =
                kind->layout({QStringLiteral("A"), QStringLiteral("B")}, {});
            const bool isStandard = dynamic_cast<StandardDataProcessor*>(processor.get());
            const bool isKavel = dynamic_cast<KavelDataProcessor*>(processor.get());
            QCOMPARE(isStandard ? "Standard" : isKavel ? "KAVEL" : "", layout);
        }
    }

    // The wizard offers the desktop kinds in this order, under their stored names.
    void desktopLabels()
    {
        QStringList labels;
        for (const RunKind& kind : RunKinds::all()) {
            if (kind.onDesktop())
                labels << kind.desktopLabel();
        }
        QCOMPARE(labels, QStringList({"KAVEL", "Standard", "Survival"}));
    }

    void unknown_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("desktop label") << "KAVEL";
        QTest::newRow("other case") << "Standard";
        QTest::newRow("trailing space") << "survival ";
    }
    // The console's types are matched exactly, as its dispatch always did.
    void unknown()
    {
        QFETCH(QString, name);
        QVERIFY(!RunKinds::byConsoleName(name));
    }

    // A stored code of no desktop kind reads as KAVEL, as the stored name of such a run does.
    void storedCodeOfNoKind()
    {
        QCOMPARE(RunKinds::byFormat(RunDefinition::NotChosen).consoleName, "kavel");
        QCOMPARE(RunKinds::byFormat(RunDefinition::Format(7)).consoleName, "kavel");
    }

    void planOfStoredRun()
    {
        RunDefinition run;
        run.id = 12;
        run.name = QStringLiteral("Spring");
        run.format = RunDefinition::Survival;
        run.releaseIds = {1};
        run.siteIds = {2, 3};
        run.windowStart = QDateTime(QDate(2021, 3, 1), QTime(0, 0), Qt::UTC);
        run.profileIntervals = true;
        const RunPlan plan = RunPlan::fromDefinition(run);
        QCOMPARE(plan.name, run.name);
        QCOMPARE(plan.kind, &RunKinds::byFormat(RunDefinition::Survival));
        QCOMPARE(plan.selection.storedRunId, 12);
        QCOMPARE(plan.selection.windowStart, run.windowStart);
        QVERIFY(plan.selection.windowEnd.isNull());
        QVERIFY(plan.selection.releases.isEmpty());
        QVERIFY(plan.cutoff.isNull());
        QVERIFY(plan.survivalFit.profileIntervals);
    }
};

QTEST_GUILESS_MAIN(TestRunKinds)
#include "tst_runkinds.moc"
