#!/usr/bin/env bash
# Load figures for the development host, bounded in requests and time:
#  1. qor_load_client: the cached inventory call straight through the plug-in's
#     dispatch entry and over loopback HTTP (keep-alive clients), with
#     requests per second and latency percentiles;
#  2. when wrk is installed, a wrk run of WRK_SECONDS against qor_host.
# Settings: BUILD_DIR (build/default), REQUESTS (20000), CONNECTIONS (4),
# MAX_SECONDS (20), WRK_SECONDS (10), WRK_CONNECTIONS (8).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/default}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target qor_load_client qor_host qor_standin_service qor_inventory >/dev/null

uri='/qor-inventory/v1/inventory?inventoryTypes.0=EMOTE&inventoryTypes.1=GEAR'
echo "== qor_load_client"
"$build/bench/qor_load_client" --requests "${REQUESTS:-20000}" --connections "${CONNECTIONS:-4}" \
  --seconds "${MAX_SECONDS:-20}" --uri "$uri"

if ! command -v wrk >/dev/null; then
  echo "(wrk is not installed: skipping the wrk run)"
  exit 0
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
url_of() {
  for _ in $(seq 1 200); do
    if grep -q "listening on" "$1"; then
      sed -n 's/.*listening on \(http:[^ ]*\).*/\1/p' "$1" | head -n1; return 0
    fi
    sleep 0.05
  done
  return 1
}
"$build/standin/qor_standin_service" --scenario scenarios/example.json >"$work/service.out" &
pids+=($!)
service_url=$(url_of "$work/service.out")
"$build/host/qor_host" --quiet --port 0 --plugin "$build/src/libqor_inventory.so" \
  --scenario scenarios/example.json --var "SERVICE_URL=$service_url" >"$work/host.out" &
pids+=($!)
host_url=$(url_of "$work/host.out")
curl -sf "$host_url$uri" >/dev/null   # fills the cache
echo "== wrk against $host_url$uri"
wrk -t2 -c "${WRK_CONNECTIONS:-8}" -d "${WRK_SECONDS:-10}s" --latency "$host_url$uri"
