#!/usr/bin/env bash
# Builds the program and runs it on the bundled demo package.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native
cmake --build --preset native
# The native program is not built yet; until then this runs the installation run's own tests.
ctest --preset native -R 'Installer|HostLocator'
