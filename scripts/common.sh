# Shared set-up for run.sh, test.sh and bench.sh. Sourced, not run.
# Installs what a fresh Debian 12 machine lacks, then configures and builds.

KELVRA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the build, the tests and the scripts need.
KELVRA_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqt6opengl6-dev libglu1-mesa-dev libgl-dev
  libgl1-mesa-dri xvfb xauth util-linux dpkg-dev desktop-file-utils
)

kelvra_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# kelvra_ensure_packages [extra packages...]: apt-get installs whatever is missing.
kelvra_ensure_packages() {
  local missing=() pkg
  for pkg in "${KELVRA_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  kelvra_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  kelvra_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# kelvra_build DIR BUILD_TYPE [cmake args...]: configure once, then an incremental build.
kelvra_build() {
  local dir="$1" type="$2"
  shift 2
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$KELVRA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}

# kelvra_build_target DIR BUILD_TYPE TARGET [cmake args...]: like kelvra_build, but builds
# only TARGET (fuzz.sh builds its fuzzers with clang without building the app).
kelvra_build_target() {
  local dir="$1" type="$2" target="$3"
  shift 3
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$KELVRA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  fi
  cmake --build "$dir" --parallel "$(nproc)" --target "$target"
}

# Compiler flags of the sanitized test build (test.sh): AddressSanitizer and
# UndefinedBehaviorSanitizer, every undefined-behaviour report fatal.
KELVRA_SANITIZE_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

# kelvra_build_sanitized DIR: the test build with KELVRA_SANITIZE_FLAGS, benchmarks left out.
# Every executable also gets scripts/sanitizer-keep-libraries.c, which keeps libraries loaded
# until the leak check at exit so that lsan.supp can name them.
kelvra_build_sanitized() {
  local dir="$1" keep="$1/support/keep-libraries.o"
  local source="$KELVRA_ROOT/scripts/sanitizer-keep-libraries.c"
  mkdir -p "$dir/support"
  if [ ! -f "$keep" ] || [ "$source" -nt "$keep" ]; then
    cc -c -O1 -fPIC "$source" -o "$keep"
  fi
  kelvra_build "$dir" RelWithDebInfo -DKELVRA_BUILD_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS=$KELVRA_SANITIZE_FLAGS" \
    "-DCMAKE_EXE_LINKER_FLAGS=$keep -Wl,--export-dynamic-symbol=dlclose"
}

# kelvra_sanitizer_env: any sanitizer report, a leak included, ends the process with a
# failing status. Leaks inside third-party libraries are suppressed by scripts/lsan.supp.
kelvra_sanitizer_env() {
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$KELVRA_ROOT/scripts/lsan.supp:print_suppressions=0"
}
