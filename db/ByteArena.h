#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace vornic {

// Room for many small byte runs that live and go together: each is carved out of a large block, so that a hundred
// thousand of them cost a few allocations instead of one each. A run stays where it is until clear().
class ByteArena final {
public:
    unsigned char* allocate(std::size_t size) {
        if (blocks_.empty() || used_ + size > blockSize_) {
            blockSize_ = std::max(kBlockSize, size);
            blocks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(blockSize_));
            used_ = 0;
        }
        unsigned char* run = blocks_.back().get() + used_;
        used_ += size;
        return run;
    }

    void clear() {
        blocks_.clear();
        used_ = 0;
        blockSize_ = 0;
    }

private:
    static constexpr std::size_t kBlockSize = 256 * 1024;
    std::vector<std::unique_ptr<unsigned char[]>> blocks_;
    std::size_t used_ = 0;
    std::size_t blockSize_ = 0;
};

} // namespace vornic
