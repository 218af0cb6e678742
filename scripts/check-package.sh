#!/usr/bin/env bash
# Checks what integrators get from a build tree (default: build): the tree
# installed into a temporary prefix, the example host built against it with
# find_package and run against the installed simulator, and the Debian
# package with the files it must hold. Prints one line per check.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d)
sim_pid=
cleanup() { [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
checks=0
pass() { echo "package: ok: $*"; checks=$((checks + 1)); }
fail() { echo "package: FAILED: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
pass "installed into a temporary prefix"

cmake -S examples/minimal-host -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
pass "examples/minimal-host built with find_package(Quillmarsh)"

"$prefix/bin/quillmarsh-sim" --port 0 >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q '^listening on' "$work/sim.out" && break; sleep 0.05; done
endpoint=$(sed -n 's/^listening on //p' "$work/sim.out")
[[ -n "$endpoint" ]] || fail "the installed quillmarsh-sim did not start: $(cat "$work/sim.out")"
"$work/example/minimal-host" "$endpoint" | tee "$work/host.out"
grep -q '^read  DB1.DBW0: status 0, value 1234' "$work/host.out" || fail "minimal-host did not read 1234 back"
pass "minimal-host wrote and read 1234 through the installed plug-in"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quillmarsh_*_*.deb | head -1)
[[ -f "$deb" ]] || fail "cpack made no quillmarsh_<version>_<arch>.deb"
dpkg-deb -c "$deb" | awk '{print $NF}' > "$work/files"
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in "./usr/lib/$arch/quillmarsh/libQuillmarsh.so" "./usr/bin/quillmarsh" "./usr/bin/quillmarsh-sim" \
         "./usr/include/quillmarsh/CDriveBaseClass.h" "./usr/include/quillmarsh/ResultCodes.h" \
         "./usr/include/quillmarsh/DriverPlugin.h" "./usr/lib/$arch/libQuillmarshHost.a" \
         "./usr/lib/$arch/cmake/Quillmarsh/QuillmarshConfig.cmake" "./usr/lib/$arch/pkgconfig/quillmarsh.pc" \
         "./usr/share/man/man1/quillmarsh.1.gz" "./usr/share/man/man1/quillmarsh-sim.1.gz"; do
  grep -qxF "$f" "$work/files" || fail "$(basename "$deb") lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt5core5a' || fail "no Qt dependency worked out: $(dpkg-deb -f "$deb" Depends)"
pass "$(basename "$deb"): $(wc -l < "$work/files") entries, plug-in, programs, headers, CMake and pkg-config files, man pages; Depends: $(dpkg-deb -f "$deb" Depends)"
echo "package: all $checks checks passed"
