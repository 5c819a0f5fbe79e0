#pragma once

#include <QMainWindow>

namespace kd {

// The desktop window. For now a bare window; the full desktop road follows.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
};

} // namespace kd
