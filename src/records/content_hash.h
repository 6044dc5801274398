#pragma once

#include <memory>
#include <string_view>

#include "records/install_record.h"

namespace kolvane::records {

// XXH3-128 of contents handed over in pieces, as they pass through the program.
class ContentHasher {
  public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    void Add(std::string_view piece);
    // Starts again with nothing added.
    void Reset();
    // The hash of everything added so far; more may be added afterwards.
    Hash Result() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// XXH3-128 of `contents`.
Hash HashOf(std::string_view contents);

}  // namespace kolvane::records
