#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform_seams.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::platform {

// What the platform's own file seam promises beyond the recording one, which writes nothing:
// links written through and never left, claims that shut out other runs, and in-place writes.
class PlatformFilesContract : public ::testing::Test {
  protected:
    ~PlatformFilesContract() override {
        for (const std::string& link : links_) {
            testing::RemoveSymlink(link);
        }
    }

    std::string At(const std::string& relative) const { return run_.Root() + "\\" + relative; }
    std::string Host(const std::string& relative) const { return dir_.HostPath(relative); }

    bool Link(const std::string& target, const std::string& link) {
        links_.push_back(Host(link));
        return testing::MakeSymlink(Host(target), Host(link));
    }

    // The names in a folder: a write must leave nothing of its own beside its target.
    std::size_t EntriesIn(const std::string& relative) const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(Host(relative)),
                          std::filesystem::directory_iterator()));
    }

    testing::TempDir dir_;
    std::vector<std::string> links_;
    PlatformFiles run_{dir_};
    PlatformFiles otherRunsSeam_{dir_};
    Files* files_ = &run_.Get();
    Files* otherRun_ = &otherRunsSeam_.Get();
};

}  // namespace kolvane::platform
