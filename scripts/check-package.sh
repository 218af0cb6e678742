#!/usr/bin/env bash
# Checks what integrators get from one build folder (default: build), native
# or cross, Qt 5 or Qt 6: the tree installed into a temporary prefix, the
# example host built against it with find_package (with the build's
# toolchain file when cross) and run against the installed simulator (under
# qemu-user when cross), and the two Debian packages with exactly the files
# and dependencies they must have. Prints one line per check.
#   bash scripts/check-package.sh [BUILD]
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
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

qt=$(cached QUILLMARSH_QT)
toolchain=$(cached CMAKE_TOOLCHAIN_FILE)
emulator=$(cached QUILLMARSH_CROSS_EMULATOR)
multiarch=$(basename "$(cached CMAKE_INSTALL_LIBDIR)")
arch=$(dpkg-architecture -t "$multiarch" -qDEB_HOST_ARCH 2>/dev/null)
suffix=; package=Quillmarsh; qtdev=qtbase5-dev
if [[ "$qt" == 6 ]]; then suffix=-qt6; package=QuillmarshQt6; qtdev=qt6-base-dev; fi
version=$(sed -n 's/^project(Quillmarsh VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
what="$arch Qt $qt"
# What runs a program of the build's architecture: nothing, or qemu-user.
launcher=()
[[ -n "$toolchain" ]] && launcher=("$emulator")

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
pass "$what: installed into a temporary prefix"

example_options=(-DCMAKE_PREFIX_PATH="$prefix" -DQUILLMARSH_QT="$qt")
[[ -n "$toolchain" ]] && example_options+=(-DCMAKE_TOOLCHAIN_FILE="$prefix/lib/$multiarch/cmake/$package/toolchains/$(basename "$toolchain")")
cmake -S examples/minimal-host -B "$work/example" "${example_options[@]}" >/dev/null
cmake --build "$work/example" >/dev/null
pass "$what: examples/minimal-host built with find_package($package)${toolchain:+ and the installed toolchain file}"

"${launcher[@]}" "$prefix/bin/quillmarsh-sim$suffix" --port 0 >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 600); do grep -q '^listening on' "$work/sim.out" && break; sleep 0.05; done
endpoint=$(sed -n 's/^listening on //p' "$work/sim.out")
[[ -n "$endpoint" ]] || fail "$what: the installed quillmarsh-sim$suffix did not start: $(cat "$work/sim.out")"
"${launcher[@]}" "$work/example/minimal-host" "$endpoint" | tee "$work/host.out"
grep -q '^read  DB1.DBW0: status 0, value 1234' "$work/host.out" || fail "$what: minimal-host did not read 1234 back"
grep -q '^batch DB1.DBW0: status 0, value 1234' "$work/host.out" || fail "$what: minimal-host did not read a batch through the extension"
grep -q "^Qt $qt\\." "$work/host.out" || fail "$what: minimal-host does not run on Qt $qt"
pass "$what: minimal-host${emulator:+ (under $(basename "$emulator"))} wrote and read 1234 through the installed plug-in"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=

rm -f "$build"/quillmarsh*_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "$what: cpack failed"; }

# Exactly the files each package must hold: <package> <file>... ("*" for the
# build type in the name of the CMake package's target file).
cmake_dir=./usr/lib/$multiarch/cmake/$package
expect_runtime=(./usr/bin/quillmarsh$suffix ./usr/bin/quillmarsh-sim$suffix
                ./usr/lib/$multiarch/quillmarsh$suffix/libQuillmarsh.so
                ./usr/share/man/man1/quillmarsh$suffix.1.gz ./usr/share/man/man1/quillmarsh-sim$suffix.1.gz)
expect_dev=(./usr/include/quillmarsh$suffix/{CDriveBaseClass,CDriveExtension,CLabelVariable,DataType,DriverPlugin,EDebugCmdType,ResultCodes}.h
            ./usr/lib/$multiarch/libQuillmarshHost$suffix.a ./usr/lib/$multiarch/pkgconfig/quillmarsh$suffix.pc
            "$cmake_dir/${package}Config.cmake" "$cmake_dir/${package}ConfigVersion.cmake"
            "$cmake_dir/QuillmarshTargets.cmake" "$cmake_dir/QuillmarshTargets-*.cmake"
            "$cmake_dir/toolchains/aarch64-linux-gnu.cmake" "$cmake_dir/toolchains/arm-linux-gnueabihf.cmake")
check_files() {
  local deb=$1; shift
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort > "$work/has"
  printf '%s\n' "$@" | sort > "$work/wants"
  local f
  while read -r f; do
    grep -q "^${f//\*/.*}\$" "$work/has" || fail "$(basename "$deb") lacks $f"
  done < "$work/wants"
  while read -r f; do
    local wanted=0 w
    for w in "$@"; do [[ "$f" == $w ]] && wanted=1; done
    ((wanted)) || fail "$(basename "$deb") holds $f, which belongs to no list"
  done < "$work/has"
}

runtime=$build/quillmarsh${suffix}_${version}_$arch.deb
dev=$build/quillmarsh${suffix}-dev_${version}_$arch.deb
[[ -f "$runtime" && -f "$dev" ]] || fail "$what: cpack made no $(basename "$runtime") and $(basename "$dev"): $(ls "$build"/*.deb 2>/dev/null)"
for deb in "$runtime" "$dev"; do
  [[ "$(dpkg-deb -f "$deb" Architecture)" == "$arch" ]] || fail "$(basename "$deb") is for $(dpkg-deb -f "$deb" Architecture)"
done
check_files "$runtime" "${expect_runtime[@]}"
check_files "$dev" "${expect_dev[@]}"

# The runtime package depends on the run-time libraries dpkg-shlibdeps found
# in the target's binaries, of this Qt and no other, and on no -dev package.
depends=$(dpkg-deb -f "$runtime" Depends)
qt_other=$([[ "$qt" == 6 ]] && echo libqt5 || echo libqt6)
for lib in "libqt${qt}core${qt}" "libqt${qt}network${qt}" libc6 libstdc++6 libcpp-httplib; do
  [[ "$depends" == *"$lib"* ]] || fail "$(basename "$runtime"): no $lib among its dependencies: $depends"
done
[[ "$depends" != *-dev* && "$depends" != *"$qt_other"* ]] || fail "$(basename "$runtime") depends on $depends"
dev_depends=$(dpkg-deb -f "$dev" Depends)
[[ "$dev_depends" == "quillmarsh$suffix (= $version), $qtdev" ]] || fail "$(basename "$dev") depends on $dev_depends"
# The binaries are the target's.
dpkg-deb -x "$runtime" "$work/runtime"
declare -A machines=([amd64]='64-bit*x86-64' [arm64]='64-bit*ARM aarch64' [armhf]='32-bit*ARM, EABI5')
for f in usr/bin/quillmarsh$suffix usr/bin/quillmarsh-sim$suffix usr/lib/$multiarch/quillmarsh$suffix/libQuillmarsh.so; do
  [[ "$(file -b "$work/runtime/$f")" == *${machines[$arch]}* ]] || fail "$f is not an $arch binary: $(file -b "$work/runtime/$f")"
done
for deb in "$runtime" "$dev"; do
  pass "$what: $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/' | wc -l) files as listed; Depends: $(dpkg-deb -f "$deb" Depends)"
done
pass "$what: programs and plug-in are $arch binaries"
echo "package: all $checks checks passed"
