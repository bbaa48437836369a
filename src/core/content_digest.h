#pragma once
// The content digest of a file: XXH3-128 (xxHash) of its bytes, fed in file
// order as they are read or written, so no file is read twice.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vux {
class ContentDigest {
public:
    ContentDigest() = default;  // not taking a digest: Update costs nothing
    ~ContentDigest();
    ContentDigest(ContentDigest&& other) noexcept;
    ContentDigest& operator=(ContentDigest&& other) noexcept;
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    // Starts taking the digest from the next byte on: allocates the hash
    // state (a few hundred bytes).
    void Start();

    // Adds the next `size` bytes of the file once started. Does not allocate.
    void Update(const void* bytes, size_t size);

    // The digest of the bytes since Start, in the byte order xxh128sum
    // prints (high half first, each half big-endian); all zeros when not
    // started.
    std::array<uint8_t, 16> Canonical() const;

private:
    void* state_ = nullptr;  // XXH3_state_t
};
}  // namespace vux
