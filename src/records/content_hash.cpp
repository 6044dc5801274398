#include "records/content_hash.h"

// Header-only, so that both builds use the same code without a library of the target system.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kolvane::records {

namespace {

Hash FromXxh(const XXH128_hash_t& hash) {
    return {hash.high64, hash.low64};
}

}  // namespace

struct ContentHasher::State {
    XXH3_state_t* xxh = XXH3_createState();
    State() { XXH3_128bits_reset(xxh); }
    ~State() { XXH3_freeState(xxh); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

ContentHasher::ContentHasher() : state_(std::make_unique<State>()) {}
ContentHasher::~ContentHasher() = default;

void ContentHasher::Add(std::string_view piece) {
    XXH3_128bits_update(state_->xxh, piece.data(), piece.size());
}

void ContentHasher::Reset() {
    XXH3_128bits_reset(state_->xxh);
}

Hash ContentHasher::Result() const {
    return FromXxh(XXH3_128bits_digest(state_->xxh));
}

Hash HashOf(std::string_view contents) {
    return FromXxh(XXH3_128bits(contents.data(), contents.size()));
}

}  // namespace kolvane::records
