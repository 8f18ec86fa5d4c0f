#!/usr/bin/env bash
# Fails when a subsystem includes a header of a subsystem above it (or beside it) in the
# layering below. Tests follow the rules of the subsystem they test.
set -euo pipefail
cd "$(dirname "$0")/.."

# Rank of each subsystem: a file may include its own subsystem and any of lower rank.
declare -A rank=(
  [core]=0 [platform]=1 [library]=2 [models]=2 [llm]=3 [speech]=3
  [ui]=4 [workspace]=5 [dictation]=6
  [tools/translate]=7 [tools/summarize]=7 [tools/proofread]=7 [tools/voicecompose]=8 [notes]=7
  [history]=9 [home]=10 [quickswitcher]=10 [settings]=10 [app]=11
)

subsystem_of() { # path relative to src/ or tests/ -> subsystem name
  case "$1" in
    tools/*) echo "$1" | cut -d/ -f1-2 ;;
    *) echo "$1" | cut -d/ -f1 ;;
  esac
}

status=0
while IFS= read -r file; do
  rel=${file#*/}
  own=$(subsystem_of "$rel")
  [ -n "${rank[$own]+x}" ] || continue
  while IFS= read -r inc; do
    target=$(subsystem_of "$inc")
    [ -n "${rank[$target]+x}" ] || continue
    [ "$target" = "$own" ] && continue
    if [ "${rank[$target]}" -ge "${rank[$own]}" ]; then
      echo "layering: $file includes \"$inc\" ($own may not depend on $target)" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src tests -name '*.h' -o -name '*.cpp' | sort)
exit $status
