#!/usr/bin/env bash
# Installs what building and testing Quillmarsh needs on a Debian machine
# (run as root). Safe to run again: only what is missing is installed.
set -euo pipefail
cd "$(dirname "$0")/.."

# pkg-config finds cpp-httplib; file is what CPack's DEB generator needs to
# work out the package's dependencies.
packages=(qtbase5-dev cmake g++ make pkg-config file clang libclang-rt-14-dev tshark valgrind strace xxd
          python3 dpkg-dev help2man libcpp-httplib-dev nlohmann-json3-dev chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
command -v node >/dev/null && command -v npm >/dev/null || missing+=(nodejs npm)
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

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
