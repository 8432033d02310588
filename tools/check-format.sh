#!/usr/bin/env bash
# Every source laid out as .clang-format says; clang-format names each place that is not.
#   check-format.sh [SOURCE_ROOT]
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 2; }
folders=()
for d in platform shell gamelib game online server plugins tools tests bench fuzz; do
  [ -d "$d" ] && folders+=("$d")
done
find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 clang-format --dry-run -Werror
echo "check-format: every source is formatted"
