#!/usr/bin/env bash
# Makes the demo's world in one folder: a Wine-style prefix whose registry names a host
# installation (with its texture catalogue) on drive C:, and a package folder holding a few model
# files and an InstSkript.txt with both sections, as a package downloaded by a user.
#
#   scripts/demo-data.sh FOLDER
#
# FOLDER is made anew. No Wine is needed: the prefix holds only what the program reads.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 FOLDER" >&2
    exit 64
fi
folder=$1

rm -rf "$folder"
prefix=$folder/wineprefix
host=$prefix/drive_c/Halmdor
package=$folder/Paket
mkdir -p "$prefix/dosdevices" "$host/Resources/Rezazerad" "$host/Modelle" \
    "$package/Modelle" "$package/Texturen"

# The drives, as wineboot links them.
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s / "$prefix/dosdevices/z:"

# The host's registry entries, in the files and the format Wine keeps them in: what Windows shows
# under HKEY_CLASSES_ROOT is Software\Classes of the machine (system.reg) and of the user
# (user.reg).
cat >"$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Classes\\Software\\Tessaline\\HMDX] 1700000000
#time=1da1b2c3d4e5f60
"AppPath"="C:\\Halmdor\\Halmdor.exe"
"ResBase"="C:\\Halmdor\\Resources"
REG
cat >"$prefix/user.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64
REG

# The host installation: its program, one model of its own and its texture catalogue (Windows
# line ends).
printf 'Halmdor stands in here for the host program.\r\n' >"$host/Halmdor.exe"
printf 'Modell: Bahnhof\r\n' >"$host/Modelle/Bahnhof.mdl"
printf '%s\r\n' \
    'Texturen{' \
    '		Textur{	id(1)	Name(Gras)	Datei(Texturen\Gras.bmp)	}' \
    '		Textur{	id(2)	Name(Schotter)	Datei(Texturen\Schotter.bmp)	}' \
    '		Textur{	id(5)	Name(Ziegel)	Datei(Texturen\Ziegel.bmp)	}' \
    '		}' >"$host/Resources/Rezazerad/Texturen.txt"

# The package: model files (one name with an umlaut), a texture, and the install script in
# Windows-1252 (\374 is the u-umlaut), as a package made on Windows has it.
printf 'Modell: Dampflok BR 01\r\n' >"$package/Modelle/Dampflok.mdl"
printf 'Modell: G\303\274terwagen\r\n' >"$package/Modelle/G$(printf '\303\274')terwagen.mdl"
printf 'BM: Kessel\r\n' >"$package/Texturen/Kessel.bmp"
printf '%s\r\n' \
    'Dateinstallation' \
    '{' \
    '	{Modelle\Dampflok.mdl >> Modelle\Tessaline\Dampflok.mdl}' \
    "	{Modelle\\G$(printf '\374')terwagen.mdl >> Modelle\\Tessaline\\G$(printf '\374')terwagen.mdl}" \
    '	{Texturen\Kessel.bmp >> Texturen\Tessaline\Kessel.bmp}' \
    '}' \
    'Texturskript' \
    '{' \
    '	{3 >> Textur{ id(3) Name(Kessel) Datei(Texturen\Tessaline\Kessel.bmp) }}' \
    '	{6 >> Textur{ id(6) Name(Rauch) Datei(Texturen\Tessaline\Rauch.bmp) }}' \
    '}' >"$package/InstSkript.txt"
