#!/usr/bin/env bash
# Checks what the compiler does not: every C++ file is formatted as .clang-format says, and
# every include between the folders of src/ points down the layers (a header that no source
# of its own layer includes is never compiled there, so the build alone would miss it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0

# Layers, lowest first, with the layers each may include besides itself.
declare -A allowed=(
    [base]=""
    [model]="base"
    [wire]="base"
    [streams]="base model"
    [tools]="base model"
    [download]="base model wire streams tools"
    [capture]="base model wire streams tools download"
    [library]="base model wire streams tools download"
    [engine]="base model wire streams tools download capture library"
    [ui]="base model wire streams tools download capture library engine"
    [app]="base model wire streams tools download capture library engine ui"
)
while IFS= read -r file; do
    layer=${file#src/}
    layer=${layer%%/*}
    [ -n "${allowed[$layer]+set}" ] || { echo "$file: not in a layer folder"; status=1; continue; }
    while IFS= read -r line; do
        target=$(sed -E 's/^#include "([^"]+)".*/\1/' <<<"$line")
        case $target in
            ../*|*/../*|./*) echo "$file: relative include \"$target\""; status=1; continue ;;
            */*) ;;
            *) continue ;; # same folder, or a generated file
        esac
        to=${target%%/*}
        [ "$to" = "$layer" ] && continue
        [ -n "${allowed[$to]+set}" ] || continue # not one of ours
        if ! grep -qw "$to" <<<"${allowed[$layer]}"; then
            echo "$file: layer $layer includes $target from the layer above or beside it"
            status=1
        fi
    done < <(grep -E '^#include "' "$file" || true)
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.inc')

formatter=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$formatter" ]; then
    echo "clang-format is missing"
    exit 1
fi
if ! git ls-files '*.cpp' '*.h' '*.c' | xargs "$formatter" --dry-run --Werror 2>/tmp/trawlix-format.$$; then
    grep -E '^[^ ].*(warning|error):' /tmp/trawlix-format.$$ | cut -d: -f1 | sort -u | sed 's/$/: not formatted (cmake --build build --target format)/'
    status=1
fi
rm -f /tmp/trawlix-format.$$
exit $status
