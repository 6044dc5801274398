#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

# The optimised programs as a user installs them: the Debian package of the package preset,
# checked for its files and dependencies as the suite checks the package of its own build.
cmake --preset package
cmake --build --preset package
cmake -DCPACK=cpack -DBUILD_DIR=build/package -DWORK_DIR=build/package/package-check \
    -P tests/app/debian_package_test.cmake

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# The seams that run threads (removed files closed, files hashed two at a time) and the removal
# that uses them, under ThreadSanitizer.
cmake --preset tsan
cmake --build --preset tsan
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/platform/posix_platform_test --gtest_brief=1
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/remove/remove_test --gtest_brief=1

# The Windows program, cross-built with mingw-w64: its unit tests under Wine with the Win32 seams,
# then the end-to-end suite that drives Kolvane.exe under Wine in a virtual X display.
cmake --preset windows
cmake --build --preset windows
ctest --preset windows

# Every fuzz target for 30 seconds from its seed corpus.
scripts/fuzz.sh 30

# Last, so that a formatting slip hides no test result: every C++ source clang-format clean.
scripts/check-format.sh
