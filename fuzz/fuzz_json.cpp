// The configuration's JSON reader on any text.
#include "simulation/JsonReader.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    kd::JsonReader reader;
    bool ok = false;
    const QVariant value = reader.parse(text, ok);
    // A text that is not readable gives nothing that could be mistaken for a configuration.
    if (!ok && value.isValid())
        std::abort();
    return 0;
}
