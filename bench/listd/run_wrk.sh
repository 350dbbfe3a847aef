#!/usr/bin/env bash
# Throughput of /list.php with 1,000 games against nginx serving the same
# body as a static file, in the same run on the same machine.
#
#   bench/listd/run_wrk.sh BUILD/kamiro-listd [SECONDS]
#
# Installs wrk and nginx when missing (needs root). Builds nothing.
# Environment: LISTD_PORT (18480), NGINX_PORT (18481), ROUNDS (1),
# LISTD_THREADS (0: one per processor).
set -euo pipefail

binary=${1:?usage: run_wrk.sh PATH/TO/kamiro-listd [SECONDS]}
seconds=${2:-10}
listd_port=${LISTD_PORT:-18480}
nginx_port=${NGINX_PORT:-18481}
rounds=${ROUNDS:-1}
[[ -x $binary ]] || { echo "not an executable: $binary" >&2; exit 2; }

need=()
command -v wrk >/dev/null || need+=(wrk)
command -v nginx >/dev/null || [[ -x /usr/sbin/nginx ]] || need+=(nginx)
command -v curl >/dev/null || need+=(curl)
if ((${#need[@]})); then
  if [[ $(id -u) -ne 0 ]]; then echo "missing ${need[*]}: run as root or install them" >&2; exit 2; fi
  apt-get install -y "${need[@]}" >/dev/null
fi
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d /tmp/listd-bench.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_port() {  # PORT: up to 10 s
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  exit 1
}

# All of wrk's requests come from one address, so the per-address rate limit
# is off; the seeding speaks for 1,000 hosts through X-Forwarded-For.
"$binary" --listen "127.0.0.1:$listd_port" --db "$work/list.db" --rate 0 --trust-proxy \
  --threads "${LISTD_THREADS:-0}" 2>"$work/listd.log" &
pids+=($!)
wait_port "$listd_port"

game="game=KAMIRO%20VESTA"
for i in $(seq 0 999); do
  pass=""
  ((i % 3 == 0)) && pass="&pass=true"
  printf 'url = "http://127.0.0.1:%d/add.php?server=Sala%%20de%%20Jos%%E9%%20%04d&%s%s"\n' \
    "$listd_port" "$i" "$game" "$pass"
  printf 'request = "POST"\nheader = "X-Forwarded-For: 10.%d.%d.%d"\noutput = "/dev/null"\n' \
    $((i / 65536)) $((i / 256 % 256)) $((i % 256))
  ((i < 999)) && echo next
done >"$work/seed.curl"
curl -s -K "$work/seed.curl"

mkdir -p "$work/www"
url_path="/list.php?out=plain&$game"
curl -s -o "$work/www/list.php" "http://127.0.0.1:$listd_port$url_path"
total=$(grep -a '^Total de servidores:' "$work/www/list.php" | cut -d: -f2 | tr -d ' ')
[[ $total == 1000 ]] || { echo "seeding failed: $total games listed" >&2; exit 1; }
chmod 644 "$work/www/list.php"

mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
daemon off;
events { worker_connections 1024; }
http {
  access_log $work/nginx/access.log;
  types { }
  default_type text/html;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 1000000;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    location / { }
  }
}
CONF
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" &
pids+=($!)
wait_port "$nginx_port"
curl -s "http://127.0.0.1:$nginx_port$url_path" | cmp -s - "$work/www/list.php" ||
  { echo "nginx does not serve the same body" >&2; exit 1; }

bytes=$(stat -c %s "$work/www/list.php")
echo "body: $bytes bytes, $total games; wrk -t2 -c64 -d${seconds}s; $(nproc) processors"

measure() {  # NAME PORT
  local out rps p99
  out=$(wrk -t2 -c64 -d"${seconds}s" --latency "http://127.0.0.1:$2$url_path")
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  errors=$(grep -E 'Non-2xx|Socket errors' <<<"$out" || true)
  printf '%-13s %12s req/s   p99 %s %s\n' "$1" "$rps" "$p99" "$errors"
  eval "${1//-/_}_rps=$rps; ${1//-/_}_p99=$p99"
}

to_ms() {  # wrk latency (us, ms or s) in milliseconds
  awk -v v="$1" 'BEGIN { n = v + 0; if (v ~ /us$/) n /= 1000; else if (v ~ /[0-9]s$/ && v !~ /ms$/) n *= 1000; print n }'
}

for ((r = 1; r <= rounds; r++)); do
  measure kamiro-listd "$listd_port"
  measure nginx "$nginx_port"
  ratio=$(awk -v a="$kamiro_listd_rps" -v b="$nginx_rps" 'BEGIN { printf "%.2f", a / b }')
  p99ms=$(to_ms "$kamiro_listd_p99")
  verdict_rps=$(awk -v x="$ratio" 'BEGIN { print (x >= 0.5) ? "met" : "NOT met" }')
  verdict_p99=$(awk -v x="$p99ms" 'BEGIN { print (x < 10) ? "met" : "NOT met" }')
  echo "round $r: kamiro-listd/nginx = $ratio (target >= 0.5: $verdict_rps); kamiro-listd p99 = ${p99ms} ms (target < 10 ms: $verdict_p99)"
done
