#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the layout there: the program folder
# holds what the build's game folder holds (music already decoded, no saved state), the launchers
# start the installed programs, the menu entry, the AppStream data, the icons and the man pages
# are valid, and running the installed tool leaves nothing new under the prefix.
#   InstallTest.sh BUILD_DIR
set -uo pipefail
build="$(cd "$1" && pwd)"
game="$build/game"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
folder="$prefix/lib/crumble-rush"
failures=0
fail() { echo "InstallTest: $*" >&2; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "InstallTest: cmake --install failed" >&2
  exit 1
fi

# The program folder: every picture and sound of the build's folder, byte for byte.
for f in crumble-rush crumble-tool mpegdll.so l3codecx.acm; do
  [ -f "$folder/$f" ] || fail "$folder/$f is missing"
done
for f in crumble-rush crumble-tool; do
  [ -x "$folder/$f" ] || fail "$folder/$f is not executable"
done
cmp -s "$game/SPS/Level1.txt" "$folder/SPS/Level1.txt" || fail "SPS/Level1.txt differs or is missing"
[ -f "$folder/installed.txt" ] || fail "the marker installed.txt is missing: root would write here"
count=0
while IFS= read -r -d '' file; do
  relative="${file#"$game"/}"
  count=$((count + 1))
  cmp -s "$file" "$folder/$relative" || fail "$relative differs or is missing"
done < <(find "$game/gfx" "$game/snd" -type f \( -path '*/gfx/*' -o -name '*.wav' -o -name '*.mp3' \) -print0)
[ "$count" -gt 20 ] || fail "the build's game folder holds only $count pictures and sounds"
# Saved state stays out: the level is the only file of SPS.
extra=$(find "$folder/SPS" -type f ! -name Level1.txt)
[ -z "$extra" ] || fail "saved state installed: $extra"
[ ! -e "$folder/Screenshots" ] || fail "Screenshots/ installed"

# The music comes decoded and newer than its MP3, so the first start has nothing to write.
music=0
for mp3 in "$folder"/snd/*.mp3; do
  [ -e "$mp3" ] || continue
  music=$((music + 1))
  wave="${mp3%.mp3}.wav"
  if [ ! -f "$wave" ]; then
    fail "${wave#"$prefix"/} is missing"
  elif [ "$wave" -ot "$mp3" ]; then
    fail "${wave#"$prefix"/} is older than its MP3"
  fi
done
[ "$music" -gt 0 ] || fail "no music in snd/"

# Launchers, desktop integration and manuals.
for f in bin/crumble-rush bin/crumble-tool bin/crumble-server \
  share/applications/example.korvald.crumblerush.desktop \
  share/metainfo/example.korvald.crumblerush.metainfo.xml \
  share/man/man6/crumble-rush.6.gz share/man/man1/crumble-tool.1.gz \
  share/man/man1/crumble-server.1.gz lib/systemd/system/crumble-server.service; do
  [ -e "$prefix/$f" ] || fail "$f is missing"
done
for program in crumble-rush crumble-tool; do
  [ "$(readlink -f "$prefix/bin/$program")" = "$(readlink -f "$folder/$program")" ] ||
    fail "bin/$program does not lead to the program folder's $program"
done

# PNG keeps width and height big-endian at bytes 16 to 23.
for size in 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/crumble-rush.png"
  if [ ! -f "$icon" ]; then
    fail "the ${size}x${size} icon is missing"
    continue
  fi
  [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
    fail "the ${size}x${size} icon is no PNG"
  dimensions=$(od -An -tu1 -j16 -N8 "$icon" |
    awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
  [ "$dimensions" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dimensions"
done

desktop="$prefix/share/applications/example.korvald.crumblerush.desktop"
if [ -f "$desktop" ]; then
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the menu entry"
  else
    echo "InstallTest: desktop-file-validate is not installed; the menu entry is checked by hand"
  fi
  grep -qx 'Categories=Game;ArcadeGame;' "$desktop" || fail "the menu entry's categories"
  grep -q '^Name\[de\]=' "$desktop" || fail "the menu entry has no German name"
  grep -q '^Comment\[de\]=' "$desktop" || fail "the menu entry has no German comment"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is no installed launcher"
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$prefix/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "Icon=$icon_name is not installed"
fi

metainfo="$prefix/share/metainfo/example.korvald.crumblerush.metainfo.xml"
if [ -f "$metainfo" ]; then
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
      { cat "$work/appstream.log" >&2; fail "appstreamcli refuses the AppStream data"; }
  else
    fail "appstreamcli is not installed (package appstream)"
  fi
  grep -q '<launchable type="desktop-id">example.korvald.crumblerush.desktop</launchable>' \
    "$metainfo" || fail "the AppStream data does not name the menu entry"
fi

for page in "$prefix"/share/man/man*/*.gz; do
  gzip -t "$page" || fail "${page#"$prefix"/} is no gzip file"
  if command -v groff >/dev/null; then
    warnings=$(gzip -dc "$page" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "${page#"$prefix"/}: $warnings"
  fi
done

# The launchers start the installed tool from anywhere, and it reads its own folder: it prints
# what the build's tool prints, each naming its folder. The player's folder is a fresh one, so
# nothing of this machine's player is read. No file under the prefix is added or changed (the
# log a command writes meanwhile is erased again when it ends well).
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
(cd "$prefix" && find . -type f | sort) >"$work/files-before"
touch "$work/before"
sleep 1
for command in "sprites check" "level decode $folder/SPS/Level1.txt"; do
  # shellcheck disable=SC2086 # the command's words
  installed=$(cd / && "$prefix/bin/crumble-tool" $command 2>&1) ||
    fail "bin/crumble-tool $command failed: $installed"
  # shellcheck disable=SC2086
  built=$(cd / && "$game/crumble-tool" ${command//$folder/$game} 2>&1)
  [ "${installed//$folder/FOLDER}" = "${built//$game/FOLDER}" ] ||
    fail "bin/crumble-tool $command printed \"$installed\", the build's tool \"$built\""
done
[ "$(cd / && "$prefix/bin/crumble-tool" sounds prepare)" = "converted: 0" ] ||
  fail "the installed music still needs decoding"
changed=$(find "$prefix" -type f -newer "$work/before" -print)
[ -z "$changed" ] || fail "the installed tool changed files under the prefix: $changed"
(cd "$prefix" && find . -type f | sort) >"$work/files-after"
added=$(comm -13 "$work/files-before" "$work/files-after")
[ -z "$added" ] || fail "the installed tool left files under the prefix: $added"
[ -d "$XDG_DATA_HOME/crumble-rush/SPS" ] || fail "the installed tool wrote nothing to the player's folder"

if [ "$failures" -gt 0 ]; then
  echo "InstallTest: $failures faults" >&2
  exit 1
fi
echo "InstallTest: the installed layout is complete"
