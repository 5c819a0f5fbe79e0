#pragma once

#include "base/MessageLoggerI.h"

#include <cstdio>

namespace kd {

// Writes every message to standard error (or another stream), one line each, flushed at once.
class ConsoleMessageLogger : public MessageLoggerI
{
public:
    explicit ConsoleMessageLogger(std::FILE* stream = stderr);
    void log(const QString& message, int level) override;

private:
    std::FILE* stream_;
};

} // namespace kd
