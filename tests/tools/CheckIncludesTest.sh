#!/usr/bin/env bash
# The include-direction check on a small tree of its own: every rule broken once is named with
# its file and line, and the same tree without those lines passes.
#   CheckIncludesTest.sh PATH/TO/check-includes.sh
set -uo pipefail
check="$1"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

put() { mkdir -p "$tree/$(dirname "$1")"; printf '%s\n' "${@:2}" > "$tree/$1"; }
expect_named() {
  if ! grep -qF -- "$1" <<<"$output"; then
    echo "not named: $1"
    failures=$((failures + 1))
  fi
}

# Allowed includes, one of each kind.
put platform/dl.h '#pragma once' '#include <string>'
put platform/dl.cpp '#include "platform/dl.h"' '#include <dlfcn.h>'
put shell/Tools.h '#pragma once' '#include "platform/dl.h"'
put shell/DecodeUnit.h '#pragma once' '#include "shell/Tools.h"'
put shell/Main.cpp '#include "game/Game.h"' '#include "online/Net.h"'
put gamelib/Engine.h '#pragma once' '#include "shell/Tools.h"' '#include <QWidget>'
put game/Game.h '#pragma once' '#include "gamelib/Engine.h"'
put online/Net.cpp '#include "online/PublishRecord.h"' '#include "shell/DecodeUnit.h"' '#include "platform/dl.h"'
put online/PublishRecord.h '#pragma once' '#include <string>'
put online/PublishRecord.cpp '#include "online/PublishRecord.h"'
put server/Store.cpp '#include "server/Store.h"' '#include "online/PublishRecord.h"' '#include <sqlite3.h>'
put server/Store.h '#pragma once'
put server/Main.cpp '#include "platform/crashlog.h"' '#include "server/Store.h"'
put plugins/dec/dec.cpp '#include "platform/dl.h"'

output=$("$check" "$tree" 2>&1)
if [ $? -ne 0 ]; then
  echo "a clean tree fails:"; echo "$output"
  failures=$((failures + 1))
fi

# One wrong include per rule, each on a known line.
put platform/dl.cpp '#include "platform/dl.h"' '#include "shell/Tools.h"'
put shell/Tools.h '#pragma once' '#include "platform/dl.h"' '#include "gamelib/Engine.h"'
put gamelib/Engine.h '#pragma once' '#include "shell/Tools.h"' '#include "game/Game.h"'
put gamelib/Sound.cpp '#include "plugins/dec/dec.h"'
put gamelib/Menu.cpp '#include "shell/Main.h"'
put gamelib/Net.cpp '// online' '#include "online/Net.h"'
put game/Game.cpp '#include "online/Net.h"'
put online/Net.cpp '#include "online/PublishRecord.h"' '#include "gamelib/Engine.h"'
put online/Menu.cpp '#include "shell/Main.h"'
put online/PublishRecord.cpp '#include "online/PublishRecord.h"' '#include "platform/dl.h"'
put server/Store.cpp '#include "server/Store.h"' '#include "online/Net.h"'
put server/Page.cpp '#include <string>' '#include <QString>'
put server/Up.cpp '#include "../online/Net.h"'
put server/Main.cpp '#include "platform/crashlog.h"' '#include "platform/dl.h"'
put plugins/dec/dec.cpp '#include "platform/dl.h"' '#include "gamelib/Engine.h"'

output=$("$check" "$tree" 2>&1)
if [ $? -eq 0 ]; then
  echo "a tree with wrong includes passes"
  failures=$((failures + 1))
fi
for where in platform/dl.cpp:2 shell/Tools.h:3 gamelib/Engine.h:3 gamelib/Sound.cpp:1 \
             gamelib/Menu.cpp:1 gamelib/Net.cpp:2 game/Game.cpp:1 online/Net.cpp:2 \
             online/Menu.cpp:1 online/PublishRecord.cpp:2 server/Store.cpp:2 server/Page.cpp:2 \
             server/Up.cpp:1 server/Main.cpp:2 plugins/dec/dec.cpp:2; do
  expect_named "$where: #include"
done
# Nothing else is named.
named=$(grep -c ': #include' <<<"$output")
if [ "$named" -ne 15 ]; then
  echo "expected 15 wrong includes, got $named:"; echo "$output"
  failures=$((failures + 1))
fi

[ $failures -eq 0 ] && echo "CheckIncludesTest: passed"
exit $((failures > 0))
