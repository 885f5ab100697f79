#!/usr/bin/env bash
# Fails, listing file:line and the include, when a source includes a header of a layer it
# may not use: the layers build on each other in one direction only, so that the lower ones
# stay usable (and testable) without the upper ones, and Qt's view stays at the top. Fails too
# on a call to the operating system outside platform/, the one seam between the program and
# the system: a system header (<unistd.h>, <fcntl.h>, <sys/...>, <windows.h>) or a test of
# _WIN32 anywhere else.
# Usage: scripts/check_layers.sh [repository root, default this one]
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

# What each layer may include besides its own folder; app/view may include everything and
# is not checked.
declare -A allowed=(
    [core]=""
    [platform]="core"
    [fb]="core platform"
    [records]="core fb"
    [data]="core fb records"
    [import]="core platform fb records data"
    [app]="core platform fb records data import"
)
layers="core platform fb records data import app"

bad=0
for layer in $layers; do
    [ -d "$layer" ] || continue
    ok=" $layer ${allowed[$layer]} "
    while IFS= read -r hit; do
        file="${hit%%:*}"
        rest="${hit#*:}"
        line="${rest%%:*}"
        text="${rest#*:}"
        target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"$text")"
        top="${target%%/*}"
        # Angle brackets name system headers unless they name one of our folders.
        if [[ "$text" =~ include[[:space:]]*\< ]] && [[ " $layers " != *" $top "* ]]; then
            continue
        fi
        [[ "$target" == app/view/* ]] && top="app/view"   # a layer of its own, above app
        # The program's entry is not part of the app layer's library: it assembles the view
        # with the rest, so, like app/view, it may include every layer.
        [ "$file" = app/main.cpp ] && continue
        if [[ "$ok" != *" $top "* ]]; then
            echo "$file:$line: $layer may not include \"$target\""
            bad=1
        fi
    done < <(find "$layer" -path app/view -prune -o -type f \
                 \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print0 |
             sort -z |
             xargs -0 -r grep -n -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*("[^"/]+/[^"]*"|<[^>/]+/[^>]*>)' || true)
done

# The operating system's own headers, and Windows tests, only in platform/.
while IFS= read -r hit; do
    echo "${hit%%:*}:$(cut -d: -f2 <<<"$hit"): the operating system is reached through platform/ only:$(cut -d: -f3- <<<"$hit")"
    bad=1
done < <(find core fb records data import app -type f \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null |
         sort -z |
         xargs -0 -r grep -n -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd\.h|fcntl\.h|windows\.h|sys/[^>]*)>|\b_WIN32\b' || true)

if [ "$bad" -ne 0 ]; then
    echo "check_layers: FAILED: includes against the layers (each may use only those below it:" \
         "core; platform over core; fb over core and platform; records over fb; data over records; import over data" \
         "and platform; app over import; app/view over app)" >&2
    exit 1
fi
echo "check_layers: every include respects the layers"
