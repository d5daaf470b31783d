#!/usr/bin/env bash
# Fails when a toolkit-free layer includes Qt, when anything but
# audio/output/sdl/ includes SDL, or when a folder includes a folder of its
# own layer or above (the CMake configure checks the same order on targets).
set -u
cd "$(dirname "$0")/.." || exit 2
status=0
checks=0
layers_free_of_qt=(platform base audio gfx engine console/layout console/logic app/core)

checks=$((checks + 1))
qt=$(grep -rn -E '#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/)' "${layers_free_of_qt[@]}" 2>/dev/null)
if [ -n "$qt" ]; then
    echo "Qt included by a toolkit-free layer:"; echo "$qt"; status=1
fi

checks=$((checks + 1))
sdl=$(grep -rn -E '#\s*include\s*[<"]SDL' --include='*.h' --include='*.cpp' \
      "${layers_free_of_qt[@]}" cli app console dialogs 2>/dev/null | grep -v '^audio/output/sdl/')
if [ -n "$sdl" ]; then
    echo "SDL included outside audio/output/sdl/:"; echo "$sdl"; status=1
fi

# Folder layers, lowest first; the longest matching prefix gives a file's layer.
declare -A rank=(
    [platform]=1 [base]=2 [audio/convert/codecs]=3
    [audio/wave]=3 [audio/timer]=3 [gfx/kernels]=2 [gfx]=3
    [audio/convert]=4 [audio/stretch]=4 [audio/files]=5 [audio/mixer]=5
    [audio/output]=6 [audio/output/sdl]=7 [engine]=8 [console/layout]=9 [console/logic]=10
    [app/core]=9 [console/widgets]=10 [dialogs]=11 [app]=12
)
layer_of() {
    local path=$1 best=""
    for folder in "${!rank[@]}"; do
        case "$path" in
            "$folder"/*) [ ${#folder} -gt ${#best} ] && best=$folder ;;
        esac
    done
    echo "$best"
}
checks=$((checks + 1))
while IFS= read -r hit; do
    file=${hit%%:*}
    inc=$(echo "$hit" | sed -E 's/.*#\s*include\s*"([^"]+)".*/\1/')
    from=$(layer_of "$file")
    to=$(layer_of "$inc")
    [ -z "$from" ] || [ -z "$to" ] || [ "$from" = "$to" ] && continue
    if [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
        echo "$file includes $inc: $from (layer ${rank[$from]}) may use only layers below it"
        status=1
    fi
done < <(grep -rn -E '#\s*include\s*"' --include='*.h' --include='*.cpp' platform base audio gfx engine console/layout console/logic app/core dialogs app)

if [ $status -eq 0 ]; then
    echo "layering: $checks passed, 0 failed"
else
    echo "layering: 0 passed, 1 failed"
fi
exit $status
