#!/usr/bin/env bash
# Fails when a toolkit-free layer includes Qt, or anything but audio/sdl/
# includes SDL.
set -u
cd "$(dirname "$0")/.." || exit 2
status=0
qt=$(grep -rn -E '#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/)' engine audio gfx platform 2>/dev/null)
if [ -n "$qt" ]; then
    echo "Qt included by a toolkit-free layer:"; echo "$qt"; status=1
fi
sdl=$(grep -rn -E '#\s*include\s*[<"]SDL' --include='*.h' --include='*.cpp' \
      engine audio gfx platform cli app console dialogs 2>/dev/null | grep -v '^audio/sdl/')
if [ -n "$sdl" ]; then
    echo "SDL included outside audio/sdl/:"; echo "$sdl"; status=1
fi
[ $status -eq 0 ] && echo "layering: 1 passed, 0 failed"
exit $status
