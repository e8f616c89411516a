#!/usr/bin/env bash
# Removes what `cmake --install BUILD --prefix PREFIX` laid down, found by installing once more
# into a scratch folder, together with the program's working copies. The user's tarnek.ini and
# anything the user put into Door/ stay, and so do folders shared with other programs.
# Usage: uninstall.sh BUILD [PREFIX]   (PREFIX defaults to ~/.local)
set -euo pipefail
build=$1
prefix=$(realpath -m "${2:-$HOME/.local}")
program="$prefix/lib/tarnek"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" > /dev/null

while IFS= read -r -d '' entry; do
  target="$prefix/${entry#./}"
  if [[ -L "$target" || -f "$target" ]]; then
    rm -f "$target"
    echo "Removed: $target"
  fi
done < <(cd "$stage$prefix" && find . \( -type f -o -type l \) -print0)

for copy in "$program"/~tarnek.wav "$program"/~tarnek.mid "$program"/~tarnek.sgt; do
  [[ -f "$copy" ]] && rm -f "$copy" && echo "Removed: $copy"
done
# Only the program's own folders, and only when nothing of the user's is left in them.
for folder in "$program/samples" "$program/Door" "$program"; do
  rmdir "$folder" 2> /dev/null && echo "Removed: $folder/" || true
done
[[ -f "$program/tarnek.ini" ]] && echo "Kept: $program/tarnek.ini"

if [[ -z "${DESTDIR:-}" ]]; then
  command -v update-desktop-database > /dev/null && update-desktop-database -q "$prefix/share/applications" 2> /dev/null || true
fi
