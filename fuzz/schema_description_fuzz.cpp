// Any bytes as a schema description: parsed and checked, or refused with a failure, never a crash.
#include "base/Failure.h"
#include "db/SchemaUpgrade.h"

#include <cstddef>
#include <cstdint>

namespace {

// What an accepted entry may hold at all: whatever the grammar, no quote, separator, comment or line break.
bool onlyNameOrTypeCharacters(const QString& text) {
    for (const QChar c : text) {
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                             c == u'_' || c == u'$' || c == u' ' || c == u'\t' || c == u'(' || c == u')' || c == u',';
        if (!allowed)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const vornic::SchemaDescription description = vornic::parseSchemaDescription(bytes, QStringLiteral("fuzz"));
        for (const vornic::DescribedTable& table : description.tables)
            for (const vornic::DescribedColumn& column : table.columns)
                if (column.place <= 0)
                    __builtin_trap();
        for (const vornic::DescribedIndex& index : description.indexes)
            if (index.place <= 0)
                __builtin_trap();
        vornic::checkSchemaDescription(description, QStringLiteral("fuzz"));
        for (const vornic::DescribedTable& table : description.tables)
            for (const vornic::DescribedColumn& column : table.columns)
                if (column.name.isEmpty() || column.type.isEmpty() || !onlyNameOrTypeCharacters(column.name) ||
                    !onlyNameOrTypeCharacters(column.type))
                    __builtin_trap();
        for (const vornic::DescribedIndex& index : description.indexes) {
            if (index.name.isEmpty() || !onlyNameOrTypeCharacters(index.name) || index.fields.isEmpty())
                __builtin_trap();
            for (const QString& field : index.fields)
                if (field.isEmpty() || !onlyNameOrTypeCharacters(field))
                    __builtin_trap();
        }
    } catch (const vornic::Failure&) {
    }
    return 0;
}
