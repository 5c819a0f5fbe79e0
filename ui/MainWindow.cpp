#include "ui/MainWindow.h"

#include "app/Settings.h"

namespace kd {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(Settings::instance().fixedValue(Settings::ProgramName).toString());
    resize(900, 600);
}

} // namespace kd
