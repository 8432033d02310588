#!/usr/bin/env bash
# The direction of includes between the folders of the source tree. Prints every include that
# points the wrong way as "file:line: ..." and fails when there is one.
#   check-includes.sh [SOURCE_ROOT]
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

# The units the server shares with the program: what travels between them, nothing else.
shared_records="online/PublishRecord.h online/GameRecord.h"

folders=()
for d in platform shell gamelib game online server plugins; do
  [ -d "$d" ] && folders+=("$d")
done
[ ${#folders[@]} -gt 0 ] || { echo "check-includes: no sources under $root" >&2; exit 2; }

find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 awk -v shared="$shared_records" '
    BEGIN { n = split(shared, list, " "); for (i = 1; i <= n; i++) record[list[i]] = 1 }
    function fail(why) { printf "%s:%d: #include %s: %s\n", FILENAME, FNR, shown, why; bad = 1 }
    function ours(h) { return h ~ /^(platform|shell|gamelib|game|online|server|plugins|tools|tests)\// }
    /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
      line = $0
      sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
      quoted = substr(line, 1, 1) == "\""
      header = substr(line, 2)
      sub(/[">].*$/, "", header)
      shown = quoted ? "\"" header "\"" : "<" header ">"
      split(FILENAME, part, "/"); folder = part[1]
      unit = FILENAME; sub(/\.(cpp|h)$/, "", unit)
      h = header; sub(/\.h$/, "", h)
      own = h == unit
      if (!quoted) {
        if ((folder == "server" || (unit ".h") in record) && h ~ /^Q/)
          fail("no Qt in the server")
        next
      }
      if (h ~ /(^|\/)\.\.\//) {
        fail("name headers from the source root, not relative to the file")
        next
      }
      if (own || !ours(h)) next
      if (folder == "platform" && h !~ /^platform\//)
        fail("platform includes nothing but platform")
      else if (folder == "plugins" && h !~ /^(platform|plugins)\//)
        fail("the plug-ins include only platform and their own headers")
      else if ((unit == "shell/Tools" || unit == "shell/DecodeUnit") &&
               h !~ /^platform\// && h != "shell/Tools" && h != "shell/DecodeUnit")
        fail("shell/Tools and shell/DecodeUnit include only platform and each other")
      else if (folder == "gamelib" && h ~ /^(game|online|plugins)\/|^shell\/Main$/)
        fail("gamelib never includes game, online, shell/Main or plugins")
      else if (folder == "game" && (h ~ /^plugins\/|^shell\/Main$/ ||
                                    (h ~ /^online\// && !((h ".h") in record))))
        fail("game never includes online (but for the shared records), shell/Main or plugins")
      else if ((unit ".h") in record && !own)
        fail("a shared record unit includes nothing of ours")
      else if (folder == "online" && h !~ /^(platform|online)\// && h != "shell/Tools" &&
               h != "shell/DecodeUnit")
        fail("online includes only platform, online, shell/Tools and shell/DecodeUnit")
      else if (folder == "server" && h !~ /^server\// && !((h ".h") in record) &&
               h != "platform/crashlog")
        fail("the server includes only server, the shared record units and the crash handler")
    }
    END { exit bad }
  ' || { echo "check-includes: includes point the wrong way (see above)" >&2; exit 1; }
echo "check-includes: all includes point the right way"
