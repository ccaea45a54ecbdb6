#!/usr/bin/env bash
# check-package.sh BUILD_DIR
# Builds the Debian package with cpack in a configured build folder and checks it: its file
# list, its control fields and runtime dependencies, and, unpacked into a scratch root, that
# the programs run, the manual pages cover every option of --help, the icons have their sizes
# and the desktop entry validates. Exits non-zero, naming every failed check.
set -uo pipefail

usage() {
  echo "Usage: $0 BUILD_DIR   (a configured build folder of this project)" >&2
  exit 2
}
[ $# -eq 1 ] || usage
build="$(cd "$1" 2>/dev/null && pwd)" || { echo "check-package: no folder '$1'" >&2; exit 2; }
[ -f "$build/CPackConfig.cmake" ] || {
  echo "check-package: $build has no CPackConfig.cmake; configure it with cmake first" >&2
  exit 2
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# pass MESSAGE: reports a group of checks as passed when none of it failed since the last one.
reported=0
pass() {
  [ "$failures" -eq "$reported" ] && echo "ok: $*"
  reported=$failures
}

# The tools this check needs, and the Debian package that brings each.
missing=()
for tool in cpack:cmake dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev desktop-file-validate:desktop-file-utils gzip:gzip; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool%%:*} (package ${tool#*:})")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "check-package: missing tools: ${missing[*]}" >&2
  exit 1
fi

version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
name="$(sed -n 's/^set(CPACK_PACKAGE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
arch="$(dpkg --print-architecture)"
if [ -z "$version" ] || [ -z "$name" ]; then
  echo "check-package: no name or version in CPackConfig.cmake" >&2
  exit 1
fi
deb="$build/${name}_${version}_${arch}.deb"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/kelvra-package.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# --- Build -------------------------------------------------------------------------------
# cpack packs what is built and does not build it, so bring the packaged targets up to date.
log="$scratch/build.log"
if ! cmake --build "$build" --target kelvra23 kelvra-camsim kelvra-frame kelvra_man_pages \
  >"$log" 2>&1; then
  cat "$log" >&2
  echo "check-package: building the packaged programs failed in $build" >&2
  exit 1
fi
rm -f "$deb"
log="$scratch/cpack.log"
if ! (cd "$build" && cpack -G DEB --config CPackConfig.cmake) >"$log" 2>&1; then
  cat "$log" >&2
  echo "check-package: cpack failed in $build" >&2
  exit 1
fi
if [ ! -f "$deb" ]; then
  cat "$log" >&2
  echo "check-package: cpack did not make $deb" >&2
  exit 1
fi
pass "built $(basename "$deb")"

# --- File list ---------------------------------------------------------------------------
contents="$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')"
expected=(
  /usr/bin/kelvra23 /usr/bin/kelvra-camsim /usr/bin/kelvra-frame
  /usr/share/applications/kelvra23.desktop
  /usr/share/icons/hicolor/scalable/apps/kelvra23.svg
)
for size in 16 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kelvra23.png")
done
for page in kelvra23 kelvra-camsim kelvra-frame; do
  expected+=("/usr/share/man/man1/$page.1.gz")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
# Nothing else: no test programs, libraries or headers slip in through an install rule.
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|')"
while read -r path; do
  [ -n "$path" ] || continue
  printf '%s\n' "${expected[@]}" | grep -qxF "$path" || fail "the package holds an unexpected $path"
done <<<"$files"
pass "file list checked"

# --- Control fields ----------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = "$name" ] || fail "Package is '$(field Package)', expected '$name'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', expected '$version'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', expected '$arch'"
[ "$(field Section)" = graphics ] || fail "Section is '$(field Section)', expected 'graphics'"
[ -n "$(field Maintainer)" ] || fail "the package has no Maintainer"
[ -n "$(field Description)" ] || fail "the package has no Description"

# Package names in Depends, alternatives included, without version constraints.
depends="$(field Depends)"
depend_names="$(tr ',|' '\n' <<<"$depends" | sed 's/(.*//; s/[[:space:]]//g' | grep -v '^$')"
[ -n "$depends" ] || fail "the package has no Depends"
for wanted in libqt6widgets6 libqt6serialport6 'libglu1-mesa|libglu1' libc6; do
  grep -qxE "$wanted" <<<"$depend_names" || fail "Depends lacks $wanted: $depends"
done
pass "Depends: $depends"

# --- Unpacked ----------------------------------------------------------------------------
root="$scratch/root"
mkdir -p "$root"
dpkg -x "$deb" "$root" || { echo "check-package: dpkg -x failed" >&2; exit 1; }
bin="$root/usr/bin"

# run NAME COMMAND...: runs a program of the package; its output is left in $out.
run() {
  local what="$1" status=0
  shift
  out="$("$@" 2>&1)" || status=$?
  if [ "$status" -ne 0 ]; then
    fail "$what exited with status $status: $out"
    return 1
  fi
}

for tool in kelvra-frame kelvra-camsim; do
  if run "$tool --version" "$bin/$tool" --version; then
    [ "$out" = "$tool $version" ] || fail "$tool --version printed '$out', expected '$tool $version'"
  fi
done
# The viewer answers --version before it needs a window system: no display is given.
if run "kelvra23 --version" env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
  "$bin/kelvra23" --version; then
  [ "$out" = "kelvra23 $version" ] || fail "kelvra23 --version printed '$out', expected 'kelvra23 $version'"
fi
pass "programs report version $version"

# Every option and command the --help of a program lists is in its manual page.
for tool in kelvra23 kelvra-camsim kelvra-frame; do
  page="$root/usr/share/man/man1/$tool.1.gz"
  [ -f "$page" ] || continue
  if ! man_text="$(gzip -dc "$page")"; then
    fail "$tool.1.gz is not a valid gzip file"
    continue
  fi
  man_text="${man_text//\\-/-}"
  grep -qF "Kelvra 23 $version" <<<"$man_text" || fail "$tool.1 does not name version $version"
  if ! run "$tool --help" env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/$tool" --help; then
    continue
  fi
  # The first word of each indented help line: an option (--port) or a command (to-pgm).
  words="$(sed -n 's/^  \(-\{0,2\}[a-z][a-z0-9-]*\).*/\1/p' <<<"$out" | sort -u)"
  [ -n "$words" ] || fail "$tool --help lists no options: $out"
  for word in $words; do
    grep -qE -- "(^|[^a-z0-9-])${word}([^a-z0-9-]|$)" <<<"$man_text" \
      || fail "$tool.1 does not document '$word' from $tool --help"
  done
done
pass "manual pages cover --help"

# Each PNG holds the size its folder names: width and height are bytes 16..23 of a PNG.
for size in 16 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/kelvra23.png"
  [ -f "$png" ] || continue
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
  width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
  height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
  if [ "$width" != "$size" ] || [ "$height" != "$size" ]; then
    fail "the ${size}x${size} icon is ${width}x${height}"
  fi
done
pass "icon sizes checked"

desktop="$root/usr/share/applications/kelvra23.desktop"
if [ -f "$desktop" ]; then
  if ! report="$(desktop-file-validate "$desktop" 2>&1)"; then
    fail "desktop-file-validate rejects kelvra23.desktop: $report"
  fi
  exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
  [ -x "$bin/$exec_name" ] || fail "the desktop entry starts '$exec_name', which the package lacks"
  icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
  [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] \
    || fail "the desktop entry's icon '$icon_name' is not in the package"
  pass "desktop entry validated"
fi

if [ "$failures" -gt 0 ]; then
  echo "check-package: $failures check(s) failed for $deb" >&2
  exit 1
fi
echo "check-package: $deb passed"
