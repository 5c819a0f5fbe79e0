#include "app/CommandLine.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    kd::CommandLine command(argc, argv);
    if (!command.wantsDesktop())
        return command.run();
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vantor.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
    kd::MainWindow window;
    window.show();
    return app.exec();
}
