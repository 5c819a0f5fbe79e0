#pragma once

#include "base/MessageLoggerI.h"

#include <QStringList>

// Keeps every logged message for the test to compare.
class RecordingLogger : public kd::MessageLoggerI
{
public:
    void log(const QString& message, int) override { messages.append(message); }
    QStringList messages;
};
