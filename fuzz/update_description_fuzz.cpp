// Any bytes as an update description: parsed or refused with a failure, never a crash; every row's version is
// compared and its file name and seal judged as the update check would.
#include "base/Failure.h"
#include "update/Threadupdate.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        for (const vornic::UpdateRow& row : vornic::parseUpdateDescription(bytes)) {
            vornic::isNewerVersion(row.version, QStringLiteral("83"));
            vornic::updateRowRefusal(row, {QByteArray(32, 'k')});
            // A name let through must stay in the data folder.
            if (vornic::isPlainFileName(row.put) &&
                (row.put.contains(u'/') || row.put.contains(u'\\') || row.put == u".." || row.put.isEmpty()))
                __builtin_trap();
        }
    } catch (const vornic::Failure&) {
    }
    return 0;
}
