#include "simulation/SimulationRunner.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (argc != 1) {
        kd::SimulationRunner runner(argc, argv);
        return runner.run();
    }
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vantor.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
    kd::MainWindow window;
    window.show();
    return app.exec();
}
