#!/usr/bin/env bash
# Builds the native program, sets up a demo host and package under build/demo and runs the
# installer there in this terminal.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kolvane kolvane-check

demo=build/demo
installer=$(pwd)/build/native/kolvane
checker=$(pwd)/build/native/kolvane-check
scripts/demo-data.sh "$demo"
demo=$(cd "$demo" && pwd)
host=$demo/wineprefix/drive_c/Halmdor

echo
echo "Demo prefix:  $demo/wineprefix (drive C: is its drive_c)"
echo "Demo package: $demo/Paket"
echo
echo "What the package checker expects an installation to do (nothing is written):"
(cd "$demo/Paket" && WINEPREFIX="$demo/wineprefix" "$checker" --host) || true
echo
echo "Press Enter or i to install, a for the about box, q to quit."
echo
status=0
if [ -t 0 ]; then
    (cd "$demo/Paket" && WINEPREFIX="$demo/wineprefix" "$installer") || status=$?
else
    # Without a terminal to answer from, press Install and take the default answers.
    (cd "$demo/Paket" && printf 'i\n' | WINEPREFIX="$demo/wineprefix" "$installer") || status=$?
fi

echo
echo "The installer ended with exit code $status. Look at the result:"
echo "  files installed:  $host/Modelle/Tessaline and $host/Texturen/Tessaline"
echo "  texture catalogue: $host/Resources/Rezazerad/Texturen.txt"
if [ -d "$host/Modelle/Tessaline" ] || [ -d "$host/Texturen/Tessaline" ]; then
    (cd "$host" && find Modelle/Tessaline Texturen/Tessaline -type f 2>/dev/null | sed 's/^/    /')
fi
echo "Run it again with: cd $demo/Paket && WINEPREFIX=$demo/wineprefix $installer"
exit "$status"
