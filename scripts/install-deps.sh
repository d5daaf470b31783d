#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
#   scripts/install-deps.sh build|test|run|bench|fuzz
set -euo pipefail

build=(build-essential cmake ninja-build pkg-config ccache zlib1g-dev libsdl2-dev libsoxr-dev
       libbenchmark-dev librubberband-dev)
test=(libgtest-dev libgmock-dev sox ffmpeg rubberband-cli libtsan2)
# The desktop program's toolkit and the font its pictures and texts use.
ui=(qt6-base-dev qt6-base-dev-tools fonts-liberation2)
bench=(libbenchmark-dev sox rubberband-cli)
fuzz=(clang libclang-rt-14-dev)

case "${1:-build}" in
    build) want=("${build[@]}" "${ui[@]}") ;;
    run) want=("${build[@]}" "${ui[@]}") ;;
    test) want=("${build[@]}" "${test[@]}" "${ui[@]}") ;;
    bench) want=("${build[@]}" "${bench[@]}" "${ui[@]}") ;;
    fuzz) want=("${build[@]}" "${fuzz[@]}" "${ui[@]}") ;;
    *) echo "usage: $0 build|run|test|bench|fuzz" >&2; exit 2 ;;
esac

missing=()
for pkg in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
