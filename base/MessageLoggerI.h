#pragma once

#include <QString>

namespace kd {

// Receives progress and error messages of every subsystem. Level 0 is information, 1 an error.
class MessageLoggerI
{
public:
    virtual ~MessageLoggerI() = default;
    virtual void log(const QString& message, int level) = 0;
};

} // namespace kd
