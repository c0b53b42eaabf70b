#!/usr/bin/env bash
# Builds the station's Debian package from the built tree, unpacks it into a
# scratch root with dpkg -x and checks what landed there: the program, the
# desktop entry, the AppStream metadata, the man page, the icons and the
# declared dependencies; and Debian's own checker, lintian, must accept it
# without an error or a warning.
#   check-package.sh CPACK CPACK_CONFIG
set -euo pipefail

cpack=$1
config=$2
name=token-station
app_id=com.morvane.TokenStation

failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}
die() {
    printf 'FAIL: %s\n' "$*" >&2
    exit 1
}

for tool in "$cpack" dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli groff man file gzip \
    lintian; do
    command -v "$tool" >/dev/null ||
        die "$tool is missing; ./station test installs it with scripts/debian-packages"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/station-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

# cpack packs what the build made; the package folder is this test's own.
if ! "$cpack" -G DEB --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    die "cpack could not build the package"
fi
shopt -s nullglob
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || die "cpack made ${#debs[@]} packages, not one: ${debs[*]}"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "the package is not named $name"

root=$work/root
dpkg -x "$deb" "$root"

# Exactly these files, owned by root: anything else is a stray install.
expected=(
    "usr/bin/$name"
    "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/man/man1/$name.1.gz"
    "usr/share/doc/$name/copyright"
    "usr/share/doc/$name/changelog.Debian.gz"
    "usr/share/lintian/overrides/$name"
    "usr/share/$name/token-station-journal.sql"
)
for size in 16 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$name.png")
done
landed=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$landed" != "$wanted" ]; then
    fail "the package holds other files than expected:"
    diff <(echo "$wanted") <(echo "$landed") >&2 || true
fi
not_root=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[ -z "$not_root" ] || fail "entries not owned by root/root: $not_root"

# The program: executable, stripped, and it starts with the libraries the
# dependencies bring (without a desktop it says so and ends with 2).
program=$root/usr/bin/$name
[ -x "$program" ] || fail "usr/bin/$name is not executable"
file -b "$program" | grep -q 'ELF.*, stripped' || fail "usr/bin/$name is not a stripped ELF program: $(file -b "$program")"
set +e
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1)
rc=$?
set -e
if [ $rc -ne 2 ] || ! grep -q 'no desktop session' <<<"$said"; then
    fail "usr/bin/$name without a desktop ended with $rc: $said"
fi
# Its journal listing needs no desktop, and names the journal in the data folder.
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" journal --help 2>&1) ||
    fail "usr/bin/$name journal --help failed: $said"
grep -q "/Data/journal.sqlite" <<<"$said" ||
    fail "usr/bin/$name journal --help names no journal in the data folder: $said"

# Desktop entry: valid, and naming the program and icon the package holds.
desktop=$root/usr/share/applications/$app_id.desktop
said=$(desktop-file-validate "$desktop" 2>&1) || true
[ -z "$said" ] || fail "desktop-file-validate: $said"
grep -qx "Exec=$name" "$desktop" || fail "the desktop entry does not start $name"
grep -qx "Icon=$name" "$desktop" || fail "the desktop entry does not name the icon $name"
# Docks match the window (X11 WM_CLASS instance, Wayland app id: both the
# program's name) to the entry through this key.
grep -qx "StartupWMClass=$name" "$desktop" || fail "the desktop entry does not match $name's windows"

# AppStream metadata: valid on its own and together with the desktop entry.
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --strict --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream.log")"
appstreamcli validate-tree --strict --no-net "$root" >"$work/appstream-tree.log" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$work/appstream-tree.log")"
grep -q "<binary>$name</binary>" "$metainfo" || fail "the metainfo does not provide $name"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"

# The man page renders without a warning, with its name and synopsis.
man_page=$root/usr/share/man/man1/$name.1.gz
said=$(gzip -dc "$man_page" | groff -man -Tutf8 -ww -z 2>&1) || fail "groff failed on the man page"
[ -z "$said" ] || fail "groff warns about the man page: $said"
rendered=$(MANWIDTH=80 man --warnings -l "$man_page" 2>"$work/man.log") || fail "man -l failed"
[ ! -s "$work/man.log" ] || fail "man -l warns: $(cat "$work/man.log")"
grep -q "$name - program TOTP hardware tokens" <<<"$rendered" || fail "the man page has no NAME line"
grep -q "SYNOPSIS" <<<"$rendered" || fail "the man page has no SYNOPSIS"

# Icons: a PNG of each freedesktop size, with transparency.
for size in 16 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/$name.png
    [ -f "$icon" ] || continue # reported above
    kind=$(file -b "$icon")
    grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" <<<"$kind" ||
        fail "icon ${size}x${size} is $kind"
done

# Debian's checker: no error and no warning (its notes are listed, not
# counted). It refuses to run as root without saying so on stderr, which is
# dropped with the note that says it.
if ! lintian --fail-on error,warning --display-level '>=info' "$deb" >"$work/lintian.log" 2>"$work/lintian.err"; then
    fail "lintian: $(cat "$work/lintian.log" "$work/lintian.err")"
fi
grep -v '^running with root privileges' "$work/lintian.err" >&2 || true
cat "$work/lintian.log"

# The copyright file is machine-readable and names the station's licence.
copyright=$root/usr/share/doc/$name/copyright
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
grep -qx 'License: Apache-2.0' "$copyright" || fail "the copyright file does not name Apache-2.0"

# Dependencies: the services and plugins no library names, and the shared
# libraries dpkg-shlibdeps found.
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
for package in pcscd qt6-qpa-plugins libqt6core6 libqt6gui6 libqt6widgets6 libpcsclite1 \
    libzxing2 libssl3 libsqlite3-0 libc6 libstdc++6; do
    grep -qxF "$package" <<<"$names" || fail "Depends lacks $package: $depends"
done
# The window runs natively on a Wayland desktop with Qt's Wayland plugin.
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -qw qt6-wayland <<<"$recommends" || fail "Recommends lacks qt6-wayland: $recommends"

if [ $failures -ne 0 ]; then
    echo "$failures checks of $(basename "$deb") failed" >&2
    exit 1
fi
echo "$(basename "$deb"): program, desktop entry, metainfo, man page, icons, copyright, dependencies and lintian checked"
