#pragma once

#include <QMetaType>

#include <cstdint>
#include <cstring>

namespace vornic {

// The database's reference to a stored binary value. A data set keeps these instead of the bytes, so that a
// list of many readings does not hold their pictures; the bytes are read when somebody asks for them.
struct BlobId {
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    friend bool operator==(const BlobId&, const BlobId&) = default;
};

} // namespace vornic

Q_DECLARE_METATYPE(vornic::BlobId)
