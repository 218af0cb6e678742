#!/usr/bin/env bash
# Runs the panel's browser and HTTP test against a ThreadSanitizer build of
# quillmarsh and the plug-in: the poller, renderer and server threads with
# 33 stream clients, writes and a PLC restart. cpp-httplib is
# compiled from Debian's own source of the installed version, so that the
# sanitizer sees the HTTP server's code too. Fails on any race report.
#   scripts/tsan-panel.sh [BUILD_DIR]   (default build-tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tsan}
src=$build/httplib-source

# The source of the cpp-httplib that scripts/setup.sh installed, from
# Debian's archive, checked against the digest Debian's source package names.
version=$(dpkg-query -W -f='${source:Upstream-Version}' "libcpp-httplib-dev:$(dpkg --print-architecture)")
tarball=cpp-httplib_${version}.orig.tar.xz
expected_sha256=8b1a5df569003b6a4f24c68489bbda5c64aec94697bdc9ebba5d79408b2ae7eb   # 0.11.4+ds
if [[ ! -f $src/httplib.h ]]; then
  mkdir -p "$src"
  curl -fsS --retry 3 -m 120 -o "$build/$tarball" "http://deb.debian.org/debian/pool/main/c/cpp-httplib/$tarball"
  echo "$expected_sha256  $build/$tarball" | sha256sum -c --quiet
  tar -xJf "$build/$tarball" -C "$src" --strip-components=1
fi

# A unity build at -O1 with line tables only: what the sanitizer's reports
# need, in half the time of a full debug build (this runs in CI).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -g1" -DCMAKE_UNITY_BUILD=ON \
  -DQUILLMARSH_TSAN=ON -DQUILLMARSH_BENCH=OFF -DBUILD_TESTING=OFF -DQUILLMARSH_HTTPLIB_SOURCE="$PWD/$src" >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillmarsh Quillmarsh
# The simulated PLC is the peer here, not under test: the plain build's.
sim=${QUILLMARSH_SIM:-build/bin/quillmarsh-sim}
[[ -x $sim ]] || cmake --build build -j"$(nproc)" --target quillmarsh-sim
reports=$PWD/$build/tsan-reports
rm -rf "$reports" && mkdir -p "$reports"
# Qt's own code is not instrumented: its atomics and mutexes are seen only
# through the inline parts in its headers.
export TSAN_OPTIONS="log_path=$reports/report second_deadlock_stack=1 history_size=4 suppressions=$PWD/scripts/tsan-suppressions.txt"
QUILLMARSH_PLUGIN=$PWD/$build/bin/libQuillmarsh.so \
  node tests/panel/panel_test.js "$build/bin/quillmarsh" "$sim" "$build/panel-output"
if compgen -G "$reports/report*" >/dev/null; then
  echo "tsan: race reports:" >&2
  cat "$reports"/report* >&2
  exit 1
fi
echo "tsan: panel test clean under ThreadSanitizer"
