#!/usr/bin/env bash
# Every command prints the project version as the last word of --version.
#   check_versions.sh PROJECT_VERSION PROGRAM...
set -uo pipefail
expected=$1
shift
readonly run_seconds=20
status=0
for program in "$@"; do
  line=$(QT_QPA_PLATFORM=offscreen timeout "$run_seconds" "$program" --version | head -n 1)
  version=${line##* }
  if [ "$version" != "$expected" ]; then
    echo "$(basename "$program") --version prints '$line', not version $expected" >&2
    status=1
  fi
done
exit $status
