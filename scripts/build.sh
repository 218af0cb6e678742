#!/usr/bin/env bash
# Configures and builds one build folder:
#   bash scripts/build.sh [FOLDER] [--arch arm64|armhf] [--qt 5|6] [cmake options...]
# --arch cross-builds with cmake/toolchains/ (after bash scripts/setup.sh
# --arch ARCH); --qt 6 builds against Qt 6 (after bash scripts/setup.sh --qt 6).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
if [[ $# -gt 0 && "$1" != -* ]]; then dir=$1; shift; fi
options=()
while (($#)); do
  case "$1" in
    --arch)
      case "${2:-}" in
        arm64) options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/aarch64-linux-gnu.cmake") ;;
        armhf) options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/arm-linux-gnueabihf.cmake") ;;
        *) echo "build: --arch takes arm64 or armhf" >&2; exit 2 ;;
      esac
      shift 2 ;;
    --qt)
      [[ "${2:-}" == 5 || "${2:-}" == 6 ]] || { echo "build: --qt takes 5 or 6" >&2; exit 2; }
      options+=(-DQUILLMARSH_QT="$2"); shift 2 ;;
    *) options+=("$1"); shift ;;
  esac
done
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
