#!/usr/bin/env bash
# Installs what building and testing Quillmarsh needs on a Debian 12 machine
# (run as root). Safe to run again: only what is missing is installed.
#   bash scripts/setup.sh [--qt 6] [--arch arm64|armhf]... [--all]
# --qt 6        Debian's Qt 6 as well (and the target's with --arch)
# --arch ARCH   a cross build for ARCH and its tests: Debian's cross compiler,
#               the target's Qt and libraries from multiarch, qemu-user with
#               binfmt_misc (tests start target programs); repeatable
# --all         what scripts/test.sh needs: --qt 6 --arch arm64 --arch armhf
# The target's packages are installed with --no-remove: apt may upgrade a
# native library to the version of its foreign twin, never remove one.
set -euo pipefail
cd "$(dirname "$0")/.."

qt6=0
arches=()
while (($#)); do
  case "$1" in
    --qt) [[ "${2:-}" == 5 || "${2:-}" == 6 ]] || { echo "setup: --qt takes 5 or 6" >&2; exit 2; }
          [[ "$2" == 6 ]] && qt6=1; shift 2 ;;
    --arch) [[ "${2:-}" == arm64 || "${2:-}" == armhf ]] || { echo "setup: --arch takes arm64 or armhf" >&2; exit 2; }
            arches+=("$2"); shift 2 ;;
    --all) qt6=1; arches=(arm64 armhf); shift ;;
    *) echo "usage: bash scripts/setup.sh [--qt 6] [--arch arm64|armhf]... [--all]" >&2; exit 2 ;;
  esac
done

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
updated=0
# Installs the packages of "$@" that are missing, with the options in $apt_options.
install_missing() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  echo "setup: installing ${missing[*]}"
  if ((!updated)); then apt-get update; updated=1; fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${apt_options[@]}" "${missing[@]}"
}

# pkg-config finds cpp-httplib; file is what CPack's DEB generator needs to
# work out the package's dependencies.
packages=(qtbase5-dev cmake g++ make pkg-config file clang libclang-rt-14-dev tshark valgrind strace xxd
          python3 dpkg-dev help2man libcpp-httplib-dev nlohmann-json3-dev chromium)
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
((qt6)) && packages+=(qt6-base-dev)
apt_options=()
install_missing "${packages[@]}"

for arch in "${arches[@]}"; do
  triplet=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
  if [[ " $(dpkg --print-foreign-architectures | tr '\n' ' ') " != *" $arch "* ]]; then
    echo "setup: adding the architecture $arch"
    dpkg --add-architecture "$arch"
    updated=0
  fi
  foreign=(qtbase5-dev:"$arch" libcpp-httplib-dev:"$arch")
  ((qt6)) && foreign+=(qt6-base-dev:"$arch")
  apt_options=(--no-remove --no-install-recommends)
  install_missing crossbuild-essential-"$arch" qemu-user qemu-user-binfmt "${foreign[@]}"

  # Tests start target programs as any program; the kernel hands them to
  # qemu-user through binfmt_misc. qemu-user-binfmt's entry is registered
  # here, also where no service manager runs to do it.
  qemu=$( [[ "$arch" == arm64 ]] && echo qemu-aarch64 || echo qemu-arm )
  binfmt=/proc/sys/fs/binfmt_misc
  [[ -e "$binfmt/status" ]] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
  if [[ ! -e "$binfmt/$qemu" ]] && ! cat "/usr/lib/binfmt.d/$qemu.conf" > "$binfmt/register" 2>/dev/null; then
    echo "setup: warning: cannot register $qemu with binfmt_misc: tests that start $triplet programs will fail" >&2
  fi
done

# snap7 (server and client) and nodes7, the independent S7 peers of the
# interoperability tests (node-gyp builds snap7's C++ sources with python3,
# make and g++). Installed from the lock file when either is missing.
if [[ -f tests/interop/package.json ]] && { [[ ! -f tests/interop/node_modules/node-snap7/build/Release/node_snap7.node ]] ||
                                           [[ ! -f tests/interop/node_modules/nodes7/package.json ]]; }; then
  echo "setup: installing node-snap7 and nodes7"
  (cd tests/interop && if [[ -f package-lock.json ]]; then npm ci --no-audit --no-fund; else npm install --no-audit --no-fund; fi)
fi

# The browser driver of the panel's tests (it drives Debian's chromium and
# never downloads a browser of its own).
if [[ ! -f tests/panel/node_modules/playwright-core/package.json ]]; then
  echo "setup: npm ci in tests/panel"
  (cd tests/panel && npm ci --no-audit --no-fund)
fi
