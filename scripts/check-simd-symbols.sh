#!/usr/bin/env bash
# Fails when an SSE2 and an AVX2 object of the given static libraries both
# define the same weak symbol. The linker keeps one copy of a weak symbol for
# the whole program, so a shared inline function built with -mavx2 could be
# the copy the SSE2 path calls on a processor without AVX2. Each width's code
# must stay local to its own object.
#   check-simd-symbols.sh LIBRARY.a...
set -u
status=0
for lib in "$@"; do
    if [ ! -f "$lib" ]; then
        echo "simd symbols: no library $lib"; status=1; continue
    fi
    # "archive:member:address type name" for every defined symbol.
    listing=$(nm -A --defined-only "$lib" 2>/dev/null) || { echo "simd symbols: nm failed on $lib"; status=1; continue; }
    weak_of() {  # weak symbols (W, V, u) of the members whose name matches $1
        echo "$listing" | awk -v pat="$1" '{
            split($1, part, ":"); member = part[2]
            type = $(NF - 1)
            if (member ~ pat && (type == "W" || type == "V" || type == "u")) print $NF
        }' | sort -u
    }
    sse2_members=$(echo "$listing" | awk '{split($1, p, ":"); print p[2]}' | grep -c '_Sse2\.')
    avx2_members=$(echo "$listing" | awk '{split($1, p, ":"); print p[2]}' | grep -c '_Avx2\.')
    if [ "$sse2_members" -eq 0 ] || [ "$avx2_members" -eq 0 ]; then
        echo "simd symbols: $lib holds no *_Sse2 and *_Avx2 objects to compare"; status=1; continue
    fi
    both=$(comm -12 <(weak_of '_Sse2\\.') <(weak_of '_Avx2\\.'))
    if [ -n "$both" ]; then
        echo "simd symbols: weak symbols defined by both the SSE2 and the AVX2 objects of $lib:"
        echo "$both" | c++filt | sed 's/^/  /'
        status=1
    else
        echo "simd symbols: $(basename "$lib"): no weak symbol shared by its SSE2 and AVX2 objects"
    fi
done
exit $status
