#!/usr/bin/env bash
# Tamboro's entry point: sets up what is missing, builds, runs and tests.
#
#   ./tamboro.sh run              build, then start the desktop program with the
#                                 demo song; without a display, play the demo
#                                 song (or render it to a WAV file when there
#                                 is no sound device)
#   ./tamboro.sh build            the release build with tamboro-cli
#   ./tamboro.sh test             every test: release suite, sanitizer suite,
#                                 fuzz corpora replayed in both, and the
#                                 suites that start threads under ThreadSanitizer
#   ./tamboro.sh bench [FILTER]   the benchmarks
#   ./tamboro.sh fuzz [TARGET] [SECONDS]   libFuzzer runs (clang)
#   ./tamboro.sh skins            paints the skin pictures and writes contact
#                                 sheets and composed consoles for review
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

configure_build() {
    local preset=$1
    shift
    cmake --preset "$preset" "$@" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
}

# Runs a ThreadSanitizer program. ThreadSanitizer needs the address-space
# layout it knows; on kernels that randomise mmap with more than 28 bits it
# stops with "unexpected memory mapping", so there the run goes without
# address-space randomisation (setarch -R).
run_tsan() {
    local bits
    bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)
    if [ "$bits" -gt 28 ] && setarch "$(uname -m)" -R true 2>/dev/null; then
        echo "ThreadSanitizer run without address-space randomisation (mmap_rnd_bits=$bits)"
        setarch "$(uname -m)" -R "$@"
    else
        "$@"
    fi
}

cmd=${1:-run}
[ $# -gt 0 ] && shift

case "$cmd" in
    build)
        scripts/install-deps.sh build
        configure_build release
        echo "Built: $root/build/release/cli/tamboro-cli"
        ;;
    run)
        scripts/install-deps.sh run
        configure_build release
        cli="$root/build/release/cli/tamboro-cli"
        demo="$root/build/release/demo/demo.tbo"
        program="$root/build/release/app/tamboro"
        if [ -x "$program" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
            echo "Starting Tamboro with the demo song $demo."
            exec "$program" "$demo" "$@"
        fi
        echo "No display: playing the demo song $demo with tamboro-cli instead (Ctrl-C stops)."
        if "$cli" play "$demo" "$@"; then
            exit 0
        fi
        wav="$root/build/release/demo/demo.wav"
        echo "No sound device could be opened: rendering the mix instead."
        "$cli" render "$demo" "$wav"
        echo "The demo song's mix is in $wav"
        ;;
    test)
        scripts/install-deps.sh test
        configure_build release
        ctest --preset release -j "$jobs"
        configure_build asan
        ctest --preset asan -j "$jobs"
        configure_build tsan
        run_tsan ctest --preset tsan -j "$jobs"
        ;;
    bench)
        scripts/install-deps.sh bench
        configure_build release -DTAMBORO_BUILD_BENCH=ON
        status=0
        for b in "$root"/build/release/bench/bench_*; do
            [ -x "$b" ] || continue
            echo "== $(basename "$b")"
            "$b" ${1:+--benchmark_filter="$1"} || status=1
        done
        exit $status
        ;;
    fuzz)
        scripts/install-deps.sh fuzz
        configure_build fuzz
        target=${1:-}
        seconds=${2:-60}
        for f in "$root"/build/fuzz/fuzz/fuzz_*; do
            name=$(basename "$f")
            case "$name" in *_replay) continue ;; esac
            [ -x "$f" ] || continue
            short=${name#fuzz_}
            [ -n "$target" ] && [ "$target" != "$short" ] && continue
            corpus="$root/fuzz/corpus/$short"
            mkdir -p "$corpus" "$root/fuzz/artifacts/$short"
            echo "== $short for ${seconds}s"
            "$f" -max_total_time="$seconds" -print_final_stats=1 \
                -artifact_prefix="$root/fuzz/artifacts/$short/" "$corpus"
        done
        ;;
    skins)
        scripts/install-deps.sh build
        cmake --preset release >/dev/null
        cmake --build --preset release -j "$jobs" --target tamboro_skin_pictures
        out="$root/build/release/skins"
        QT_QPA_PLATFORM=offscreen "$root/build/release/tools/skins/tamboro-skins" "$out" --review "$out"
        echo "Contact sheets (contact-N.png) and composed consoles (console-N.png, pro-N.png): $out"
        ;;
    *)
        echo "usage: $0 run|build|test|bench|fuzz|skins" >&2
        exit 2
        ;;
esac
