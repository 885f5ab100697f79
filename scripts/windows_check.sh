#!/usr/bin/env bash
# Compiles (syntax only) every .cpp of core/, fb/, records/, data/ and import/ with the
# MinGW-w64 cross compiler, so that a call only POSIX has (or any other Linux-only code)
# outside platform/ fails here rather than on the Windows build. platform/ (the one place
# for such calls) and app/ (Qt) are not compiled. Fails naming each file that does not
# compile, with the compiler's messages.
# Usage: scripts/windows_check.sh [build folder, default build]   (its generated/ headers are
# used when present, as the build uses them; the sources also compile without them)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

build="${1:-build}"
# The posix threading model: the win32 one of GCC 12 has no std::thread or std::mutex.
cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null; then
    echo "windows_check: $cxx is missing; scripts/setup.sh installs it (scripts/packages.txt)" >&2
    exit 1
fi
generated=""
[ -d "$build/generated" ] && generated="$(cd "$build/generated" && pwd)"

work="$(mktemp -d /tmp/importarfac-wincheck.XXXXXX)"
trap 'rm -rf "$work"' EXIT
# Firebird's headers as <firebird/...> (and the ibase.h they include), without /usr/include
# on the path: Linux's own headers there would hide what MinGW lacks.
mkdir "$work/include" "$work/logs"
ln -s /usr/include/firebird "$work/include/firebird"
for h in ibase.h iberror.h ib_util.h; do
    if [ -e "/usr/include/$h" ]; then ln -s "/usr/include/$h" "$work/include/$h"; fi
done

mapfile -d '' sources < <(find core fb records data import -name '*.cpp' -print0 | sort -z)
if ((${#sources[@]} == 0)); then
    echo "windows_check: no sources found" >&2
    exit 1
fi

export cxx work root generated
compile() {
    local src=$1 log flags
    log="$work/logs/${src//\//_}.log"
    flags=(-std=c++20 -fsyntax-only -I"$root" -I"$work/include")
    [ -n "$generated" ] && flags+=(-I"$generated")
    if ! "$cxx" "${flags[@]}" "$root/$src" >"$log" 2>&1; then
        touch "$log.failed"
    fi
}
export -f compile
printf '%s\0' "${sources[@]}" | xargs -0 -n1 -P2 bash -c 'compile "$1"' _

failed=0
for src in "${sources[@]}"; do
    log="$work/logs/${src//\//_}.log"
    if [ -e "$log.failed" ]; then
        failed=$((failed + 1))
        echo "windows_check: $src does not compile for Windows:" >&2
        # The first errors are enough to see the cause.
        if grep -q -E '(fatal )?error' "$log"; then
            grep -E '(fatal )?error|note: ' "$log" | head -n 20 | sed 's/^/    /' >&2
        else
            tail -n 20 "$log" | sed 's/^/    /' >&2
        fi
    fi
done
if ((failed)); then
    echo "windows_check: FAILED: $failed of ${#sources[@]} sources" >&2
    exit 1
fi
echo "windows_check: ${#sources[@]} sources compile for Windows"
