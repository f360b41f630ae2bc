// Any bytes as a schema description: parsed or refused with a failure, never a crash.
#include "base/Failure.h"
#include "db/SchemaUpgrade.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        for (const vornic::DescribedTable& table : vornic::parseSchemaDescription(bytes, QStringLiteral("fuzz")))
            for (const vornic::DescribedColumn& column : table.columns)
                if (column.place <= 0)
                    __builtin_trap();
    } catch (const vornic::Failure&) {
    }
    return 0;
}
