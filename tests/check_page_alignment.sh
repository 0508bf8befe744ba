#!/usr/bin/env bash
# Every LOAD segment of the library must be aligned to 16 KB pages or more,
# so it loads on devices with 16 KB pages.
# Usage: check_page_alignment.sh LIBRARY [READELF]
set -euo pipefail
library=$1
readelf_tool=${2:-readelf}
headers=$("$readelf_tool" -lW "$library")
loads=$(awk '$1 == "LOAD" {print $NF}' <<<"$headers")
if [ -z "$loads" ]; then
  echo "no LOAD segments found in $library"
  exit 1
fi
status=0
while read -r align; do
  if (( align < 0x4000 )); then
    echo "LOAD segment aligned to $align, below 0x4000"
    status=1
  fi
done <<<"$loads"
[ $status -eq 0 ] && echo "page alignment: $(wc -l <<<"$loads") LOAD segments, all >= 0x4000"
exit $status
