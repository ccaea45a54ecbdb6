# Shared set-up for run.sh, test.sh and bench.sh. Sourced, not run.
# Installs what a fresh Debian 12 machine lacks, then configures and builds.

KELVRA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the build, the tests and the scripts need.
KELVRA_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqt6opengl6-dev libglu1-mesa-dev libgl-dev
  libgl1-mesa-dri xvfb xauth util-linux
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
