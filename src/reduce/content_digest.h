#pragma once
// The content digest of a data file: XXH3-128 (xxHash) of its bytes, fed in
// file order as they are read, so the file is read once.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vux {
class ContentDigest {
public:
    ContentDigest();  // allocates the hash state (a few hundred bytes)
    ~ContentDigest();
    ContentDigest(ContentDigest&& other) noexcept;
    ContentDigest& operator=(ContentDigest&& other) noexcept;
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    // Adds the next `size` bytes of the file. Does not allocate.
    void Update(const void* bytes, size_t size);

    // The digest of the bytes so far, in the byte order xxh128sum prints
    // (high half first, each half big-endian).
    std::array<uint8_t, 16> Canonical() const;

private:
    void* state_ = nullptr;  // XXH3_state_t
};
}  // namespace vux
