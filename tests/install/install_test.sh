#!/bin/sh
# Installs the build into a temporary prefix, builds the Debian package, checks both with the
# desktop's validators and lintian, unpacks the package and runs the installed programs with a
# temporary home: an installed Postvane keeps its settings in the user's folder, owner-only.
# Usage: install_test.sh BUILD_DIR
set -eu

build=$(cd "$1" && pwd)
app_id=org.postvane.Postvane
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

for tool in desktop-file-validate appstreamcli lintian dpkg-deb cpack; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh test installs it)"
done

step "cmake --install into a temporary prefix"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/postvane bin/postvane-check \
    share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$app_id.svg \
    share/man/man1/postvane.1.gz share/man/man1/postvane-check.1.gz \
    share/doc/postvane/copyright share/doc/postvane/changelog.gz; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png
  [ -f "$png" ] || fail "no ${size} px icon"
  # Width and height sit in the PNG header at bytes 16-23.
  got=$(od -An -j16 -N8 -tu1 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$got" = "${size}x$size" ] || fail "$size px icon is $got"
done
for page in postvane postvane-check; do
  gzip -dc "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.SH NAME" || fail "$page.1 has no NAME"
done

step "desktop-file-validate, appstreamcli validate"
desktop-file-validate "$prefix/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"

step "cpack -G DEB, lintian"
cpack -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/postvane_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The dependencies come from the libraries the programs link.
for library in libqt6core6 libqt6widgets6 libqt6network6 libc6; do
  echo "$depends" | grep -q "$library" || fail "Depends lacks $library"
done
root_option=""
if [ "$(id -u)" -eq 0 ]; then root_option=--allow-root; fi
lintian $root_option --fail-on error "$deb"

step "the unpacked package's programs, with a temporary home"
root=$work/root
dpkg-deb -x "$deb" "$root"
home=$work/home
config=$work/config
mkdir -p "$home"
run() {
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$config" "$@"
}
version=$(run "$root/usr/bin/postvane-check" --version)
echo "$version"
settings=$config/postvane/Postvane.ini
echo "$version" | grep -qF "$settings" || fail "postvane-check does not use $settings"
[ -d "$config/postvane" ] || fail "no settings folder"
mode=$(stat -c %a "$config/postvane")
[ "$mode" = 700 ] || fail "settings folder has mode $mode"
# Without XDG_CONFIG_HOME the folder goes under the home.
env -i PATH=/usr/bin:/bin HOME="$home" "$root/usr/bin/postvane-check" --version |
  grep -qF "$home/.config/postvane/Postvane.ini" || fail "no default under ~/.config"
# A given file still wins.
run "$root/usr/bin/postvane-check" --settings "$work/other.ini" --version |
  grep -qF "$work/other.ini" || fail "--settings does not win"

# A check with no mailbox configured, then an acknowledgement: neither leaves anything behind
# beside the program, and nothing readable by others in the settings folder.
status=0
run "$root/usr/bin/postvane-check" --quiet --ack || status=$?
[ "$status" -eq 1 ] || fail "postvane-check without mailboxes ended with $status"
[ -z "$(find "$root" -name Postvane.ini -o -name receive.log)" ] || fail "files beside the program"
others=$(find "$config/postvane" -perm /077 ! -type l)
[ -z "$others" ] || fail "readable by others: $others"

echo "== install test passed"
