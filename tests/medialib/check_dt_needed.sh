#!/usr/bin/env bash
# Fails when an executable in <build>/bin or a shared library built in <build> has a
# DT_NEEDED entry for libav*, libsw* or SDL2: those are opened at run time only.
#   check_dt_needed.sh <build folder>
set -euo pipefail
build=${1:?build folder}

is_elf() { [[ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" == '177ELF' ]]; }

checked=0
failed=0
while IFS= read -r -d '' file; do
  is_elf "$file" || continue
  needed=$(readelf -d "$file") || { echo "readelf failed on $file"; exit 1; }
  checked=$((checked + 1))
  bad=$(grep -E '\(NEEDED\).*\[(libav|libsw|libSDL2)' <<<"$needed" || true)
  if [[ -n "$bad" ]]; then
    echo "$file needs a media library at start-up:"
    echo "$bad"
    failed=1
  fi
done < <(find "$build/bin" -type f -print0 2>/dev/null
         find "$build" -path "$build/CMakeFiles" -prune -o -type f -name '*.so*' -print0)

if [[ $checked -eq 0 ]]; then
  echo "no ELF file found under $build"
  exit 1
fi
echo "checked $checked ELF files"
exit $failed
