#include "app/CommandLine.h"

#include "base/ConsoleMessageLogger.h"
#include "base/Settings.h"
#include "simulation/SimulationRunner.h"

#include <QFileInfo>

namespace kd {

CommandLine::CommandLine(int argc, char** argv, std::FILE* out, std::FILE* err)
    : argc_(argc), out_(out), err_(err)
{
    if (argc >= 1 && argv[0])
        programPath_ = QString::fromLocal8Bit(argv[0]);
    if (argc >= 2 && argv[1])
        argument_ = QString::fromLocal8Bit(argv[1]);
}

void CommandLine::print(const QString& text) const
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

int CommandLine::run()
{
    if (argument_.isEmpty()) {
        ConsoleMessageLogger(err_).log(
            QStringLiteral("Usage: ") + programPath_ + QStringLiteral(" <simulation dir>"), 0);
        return -1;
    }
    // An option is an option only when no folder of that name is meant.
    if (!QFileInfo(argument_).isDir()) {
        if (argument_ == QLatin1String("--help") || argument_ == QLatin1String("-h")) {
            print(QStringLiteral("Usage: %1 [<simulation dir>]\n\n"
                                 "Without an argument Keldar opens its desktop window.\n"
                                 "With a simulation folder it runs in batch mode: it reads the\n"
                                 "folder's config.txt, loads the configured data folder into\n"
                                 "keldar.db in the simulation folder and writes the result file\n"
                                 "of every active run. Progress goes to standard error.\n\n"
                                 "Options:\n"
                                 "  -h, --help     show this text\n"
                                 "  --version      show the version\n\n"
                                 "Exit status in batch mode:\n"
                                 "  1    every active run was handled\n"
                                 "  2    every run was handled, but at least one failed or\n"
                                 "       was refused (no file written)\n"
                                 "  255  nothing was run: usage, configuration, database or\n"
                                 "       data folder error")
                      .arg(programPath_));
            return 0;
        }
        if (argument_ == QLatin1String("--version")) {
            print(QStringLiteral("Keldar ") +
                  Settings::instance().fixedValue(Settings::Version).toString());
            return 0;
        }
    }
    SimulationRunner runner(programPath_, argument_, out_, err_);
    switch (runner.run()) {
    case SimulationRunner::AllHandled:
        return 1;
    case SimulationRunner::SomeFailed:
        return 2;
    case SimulationRunner::Stopped:
        break;
    }
    return -1;
}

} // namespace kd
