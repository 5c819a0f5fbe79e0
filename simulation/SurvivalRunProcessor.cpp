#include "simulation/SurvivalRunProcessor.h"

#include "run/RunExecution.h"
#include "run/RunKind.h"
#include "store/DataProvider.h"
#include "survival/SurvivalResult.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <clocale>
#include <cstdio>

namespace kd {

namespace {

char programName[] = "keldar";
char platformOption[] = "-platform";
// Draws into images without a display, so the console also runs on a server.
char platformName[] = "offscreen";

QtMessageHandler previousHandler = nullptr;

void dropRuntimeFolderNotice(QtMsgType type, const QMessageLogContext& context,
                             const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (previousHandler) {
        previousHandler(type, context, message);
        return;
    }
    const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit();
    std::fprintf(stderr, "%s\n", text.constData());
}

} // namespace

SurvivalRunProcessor::SurvivalRunProcessor(SimulationConfig* config, DataProvider* provider,
                                           MessageLoggerI* logger)
    : RunProcessor(config, provider, logger)
{
}

SurvivalRunProcessor::~SurvivalRunProcessor() = default;

bool SurvivalRunProcessor::ensureGuiApplication()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    if (QCoreApplication::instance()) {
        log(QStringLiteral("Unable to draw the survival chart: the program runs without a "
                           "graphical application."));
        return false;
    }
    // The console runs without any application object; one is started for the chart alone and
    // kept until the runs are over.
    argc_ = 3;
    argv_[0] = programName;
    argv_[1] = platformOption;
    argv_[2] = platformName;
    argv_[3] = nullptr;
    // Starting it takes the C library's locale from the environment; numbers read or written
    // through the C library keep the form they had before.
    const QByteArray numeric = std::setlocale(LC_NUMERIC, nullptr);
    // Without a desktop session the platform's notice about a missing runtime folder would
    // reach every console run's output; it says nothing about the run.
    previousHandler = qInstallMessageHandler(dropRuntimeFolderNotice);
    application_ = std::make_unique<QGuiApplication>(argc_, argv_);
    qInstallMessageHandler(previousHandler);
    std::setlocale(LC_NUMERIC, numeric.constData());
    return true;
}

bool SurvivalRunProcessor::process(int runIndex)
{
    RunExecution execution(*provider_, plan_, logger_);
    if (!extractForCoding(execution))
        return false;
    if (!execution.compute(nullptr)) {
        log(execution.errorText());
        return false;
    }
    const SurvivalResult& result = *execution.survival();

    const QString path = resultPath(runIndex);
    if (path.isEmpty() || !ensureGuiApplication())
        return false;
    log(QStringLiteral("Writing results to ") + path + QStringLiteral("..."));
    QString error;
    if (!execution.writeSurvival(QFileInfo(path).path(), execution.kind().consoleName, &error)) {
        log(error);
        return false;
    }
    log(QStringLiteral("Wrote %1 fish.").arg(result.histories.size()));
    log(QStringLiteral("Done.\n"));
    return true;
}

} // namespace kd
