#!/usr/bin/env bash
# The companion server under load, on this machine: 100 000 publications stored, then wrk with
# 64 kept-alive connections on the start and highscore pages, on the pages again while 1 000
# slow connections are open, and on publishing. Traffic goes to 127.0.0.1 only; every step is
# bounded in time. Prints:
#   server-pages: X/s p99 Y ms
#   server-pages-slow: X/s p99 Y ms      (with the slow connections open)
#   server-publish: X/s p99 Y ms
# usage: server-bench.sh BUILD_DIR [SECONDS]
set -euo pipefail
build="$1"
seconds="${2:-10}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
server="$build/server/crumble-server"
load="$build/bench/server/crumble-server-load"
publications=100000
slow=1000

work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# "Requests/sec" and the 99th percentile (in ms) of wrk's --latency output.
report() {
  local name="$1" output="$2"
  local rate p99
  rate=$(awk '/^Requests\/sec:/ {printf "%.0f", $2}' <<<"$output")
  p99=$(awk '$1 == "99%" {
      v = $2; unit = v; gsub(/[0-9.]/, "", unit); sub(/[a-z]+$/, "", v);
      if (unit == "us") v /= 1000; else if (unit == "s") v *= 1000; else if (unit == "m") v *= 60000;
      printf "%.1f", v }' <<<"$output")
  echo "$name: ${rate}/s p99 ${p99} ms"
  local errors
  errors=$(grep -E "Non-2xx|Socket errors" <<<"$output" || true)
  [ -z "$errors" ] || echo "  ($name: $errors)"
}

echo "server-bench: storing $publications publications"
"$load" fill "$work/data" "$publications" >/dev/null
"$load" records "$work/records.txt" 20000

"$server" --http 0 --smtp 0 --data "$work/data" --publish-limit 0 \
  --connections-per-address 0 --max-connections 5000 >"$work/server.log" 2>&1 &
pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's|.*web server http://[^:]*:\([0-9]*\)/.*|\1|p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "server-bench: the server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
base="http://127.0.0.1:$port"

# The pages are rendered once after the lists change; this is the first time.
for path in /korvaldinternal /korvaldinternal/highscore.html; do
  timeout 120 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1"
    printf "GET %s HTTP/1.0\r\n\r\n" "$2" >&3
    cat <&3 >/dev/null' warm "$port" "$path"
done

report server-pages "$(wrk -t2 -c64 -d"${seconds}s" --latency -s "$here/pages.lua" "$base")"

"$load" slow "$port" "$slow" $((seconds + 6)) >"$work/slow.log" &
slowpid=$!
for _ in $(seq 100); do grep -q opened "$work/slow.log" && break; sleep 0.1; done
sleep 1
report server-pages-slow "$(wrk -t2 -c64 -d"${seconds}s" --latency -s "$here/pages.lua" "$base")"
wait "$slowpid"
sed 's/^/  /' "$work/slow.log"

before=$("$load" count "$work/data")
report server-publish "$(wrk -t2 -c64 -d"${seconds}s" --timeout 10s --latency \
  -s "$here/publish.lua" "$base" -- "$work/records.txt")"
echo "  (publications stored: $before before, $("$load" count "$work/data") after)"
