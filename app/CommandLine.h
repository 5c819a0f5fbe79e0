#pragma once

#include <QString>

#include <cstdio>

namespace kd {

// The program's arguments and the console face: without an argument the desktop starts; with
// one, --help and --version are answered (when no folder has that name) and anything else is
// a simulation folder run in batch mode. It turns the batch outcome into the exit status.
class CommandLine
{
public:
    CommandLine(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);

    bool wantsDesktop() const { return argc_ < 2; }

    // Exit status of the console face: 1 when every active run was handled, 2 when at least
    // one failed or was refused, -1 when nothing could be run, 0 for --help and --version.
    int run();

private:
    void print(const QString& text) const;

    int argc_;
    QString programPath_;
    QString argument_;
    std::FILE* out_;
    std::FILE* err_;
};

} // namespace kd
