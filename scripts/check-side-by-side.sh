#!/usr/bin/env bash
# Installs the Qt 5 and Qt 6 runtime and -dev packages of two native build
# folders (made by scripts/check-package.sh) side by side on this machine
# (as root), builds examples/minimal-host against each installed CMake
# package with find_package and runs it against that set's installed
# simulator, then removes all four packages again.
#   bash scripts/check-side-by-side.sh QT5_BUILD QT6_BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
qt5=$(realpath "$1"); qt6=$(realpath "$2")
work=$(mktemp -d)
sim_pid=
packages=(quillmarsh quillmarsh-dev quillmarsh-qt6 quillmarsh-qt6-dev)
cleanup() {
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null
  dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
checks=0
pass() { echo "side by side: ok: $*"; checks=$((checks + 1)); }
fail() { echo "side by side: FAILED: $*" >&2; exit 1; }

arch=$(dpkg --print-architecture)
debs=("$qt5"/quillmarsh_*_"$arch".deb "$qt5"/quillmarsh-dev_*_"$arch".deb
      "$qt6"/quillmarsh-qt6_*_"$arch".deb "$qt6"/quillmarsh-qt6-dev_*_"$arch".deb)
for deb in "${debs[@]}"; do [[ -f "$deb" ]] || fail "no $deb (run scripts/check-package.sh first)"; done
for deb in "${debs[@]}"; do dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}'; done | sort | uniq -d > "$work/shared"
[[ ! -s "$work/shared" ]] || fail "files in more than one package: $(tr '\n' ' ' < "$work/shared")"
pass "the four packages share no file"

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-remove "${debs[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get could not install ${debs[*]##*/}"; }
pass "installed together: ${debs[*]##*/}"

for qt in 5 6; do
  suffix=$([[ $qt == 6 ]] && echo -qt6 || true)
  package=$([[ $qt == 6 ]] && echo QuillmarshQt6 || echo Quillmarsh)
  cmake -S examples/minimal-host -B "$work/example$qt" -DQUILLMARSH_QT=$qt >/dev/null
  cmake --build "$work/example$qt" >/dev/null
  "quillmarsh-sim$suffix" --port 0 >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 600); do grep -q '^listening on' "$work/sim.out" && break; sleep 0.05; done
  endpoint=$(sed -n 's/^listening on //p' "$work/sim.out")
  [[ -n "$endpoint" ]] ||
    fail "quillmarsh-sim$suffix did not start in 30 s ($(kill -0 "$sim_pid" 2>/dev/null && echo running || echo ended)): $(cat "$work/sim.out")"
  "$work/example$qt/minimal-host" "$endpoint" | tee "$work/host.out"
  grep -q "^Qt $qt\\..*, plug-in /usr/lib/.*/quillmarsh$suffix/libQuillmarsh.so" "$work/host.out" ||
    fail "minimal-host against $package does not run on Qt $qt with the quillmarsh$suffix plug-in"
  grep -q '^read  DB1.DBW0: status 0, value 1234' "$work/host.out" || fail "minimal-host against $package did not read 1234 back"
  grep -q '^batch DB1.DBW0: status 0, value 1234' "$work/host.out" ||
    fail "minimal-host against $package did not read 1234 in a batch through the extension"
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
  # The installed command-line host finds its own plug-in.
  "quillmarsh$suffix" info | tee "$work/info.out"
  grep -q "^plug-in .*/quillmarsh$suffix/libQuillmarsh.so" "$work/info.out" || fail "quillmarsh$suffix info found no plug-in of its own"
  pass "Qt $qt: minimal-host built with find_package($package) from /usr, wrote and read 1234 (alone and in a batch through the extension) against quillmarsh-sim$suffix; quillmarsh$suffix finds its plug-in"
done
echo "side by side: all $checks checks passed"
