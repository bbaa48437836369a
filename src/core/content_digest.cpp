#include "core/content_digest.h"

#include <cstring>
#include <new>
#include <utility>

#include <xxhash.h>

namespace vux {
namespace {
XXH3_state_t* State(void* state) { return static_cast<XXH3_state_t*>(state); }
}  // namespace

void ContentDigest::Start() {
    if (state_ == nullptr) state_ = XXH3_createState();
    if (state_ == nullptr) throw std::bad_alloc();
    XXH3_128bits_reset(State(state_));
}

ContentDigest::~ContentDigest() {
    if (state_ != nullptr) XXH3_freeState(State(state_));
}

ContentDigest::ContentDigest(ContentDigest&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}

ContentDigest& ContentDigest::operator=(ContentDigest&& other) noexcept {
    std::swap(state_, other.state_);
    return *this;
}

void ContentDigest::Update(const void* bytes, size_t size) {
    if (state_ != nullptr && size > 0) XXH3_128bits_update(State(state_), bytes, size);
}

std::array<uint8_t, 16> ContentDigest::Canonical() const {
    std::array<uint8_t, 16> bytes{};
    if (state_ == nullptr) return bytes;
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(State(state_)));
    std::memcpy(bytes.data(), canonical.digest, bytes.size());
    return bytes;
}
}  // namespace vux
