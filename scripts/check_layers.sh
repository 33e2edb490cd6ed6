#!/usr/bin/env bash
# Fails when a file of the engine or the Python module includes a header of a layer that it may
# not use. Each layer is a folder; a file may include its own layer (its subfolders too) and the
# layers listed for it below. "engine/build" names the folder's own files only; a trailing "/*"
# takes every layer under a folder.
set -euo pipefail
set -f  # the layer patterns below are words, never file names
cd "$(dirname "$0")/.."

# layer                    may include
rules='
engine/search/memory
engine/search/graph        engine/search/memory
engine/search/quant        engine/search/memory
engine/search/searcher     engine/search/memory engine/search/graph engine/search/quant
engine/build               engine/search/*
engine/build/ssg           engine/build engine/search/*
engine/build/hnsw          engine/build engine/search/*
engine/build/reorder       engine/build engine/search/*
engine/index               engine/build/* engine/search/*
python                     engine/index
'
layers=$(awk 'NF {print $1}' <<<"$rules")

layer_of() {  # the longest layer folder that holds the file
  local path=$1 best=""
  for l in $layers; do
    case $path in "$l"/*) ((${#l} > ${#best})) && best=$l ;; esac
  done
  echo "$best"
}

allowed() {  # <layer of the file> <layer of the header>
  local own=$1 target=$2 entry
  [[ $own == "$target" ]] && return 0
  for entry in $(awk -v l="$own" '$1 == l {for (i = 2; i <= NF; i++) print $i}' <<<"$rules"); do
    if [[ $entry == */\* ]]; then
      [[ $target == "${entry%/\*}" || $target == "${entry%\*}"* ]] && return 0
    elif [[ $target == "$entry" ]]; then
      return 0
    fi
  done
  return 1
}

status=0
while IFS= read -r file; do
  own=$(layer_of "$file")
  if [[ -z $own ]]; then
    echo "$file: in no layer folder"
    status=1
    continue
  fi
  while IFS= read -r header; do
    [[ $header == engine/* || $header == python/* ]] || continue
    target=$(layer_of "$header")
    if ! allowed "$own" "$target"; then
      echo "$file ($own) includes $header (${target:-no layer})"
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find engine python -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
if ((status == 0)); then
  echo "every include follows the layers"
fi
exit $status
