#include "base/ConsoleMessageLogger.h"

namespace kd {

ConsoleMessageLogger::ConsoleMessageLogger(std::FILE* stream) : stream_(stream) {}

void ConsoleMessageLogger::log(const QString& message, int /*level*/)
{
    const QByteArray bytes = message.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

} // namespace kd
