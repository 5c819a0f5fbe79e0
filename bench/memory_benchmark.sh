#!/usr/bin/env bash
# Memory benchmark: peak RSS of a whole console process (load of a fresh folder included) with a
# kavel run over every release and site, on 2 M events / 50 k fish and on 8 M events / 200 k fish
# (fish scaled with events). Memory should stay flat in the size of the study: the 8 M process
# at most 1.5 times the 2 M one.
#
# Usage: bench/memory_benchmark.sh
# Environment: KELDAR (default build/keldar), BASELINE (another keldar to measure beside it, for
# example an older build), GENERATOR (default: kd_generate_study next to keldar's build), WORK
# (default bench/work/memory).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
KELDAR=${KELDAR:-$repo/build/keldar}
GENERATOR=${GENERATOR:-$(dirname "$KELDAR")/bench/kd_generate_study}
WORK=${WORK:-$repo/bench/work/memory}
BASELINE=${BASELINE:-}

die() { echo "memory_benchmark: $*" >&2; exit 1; }
[ -x /usr/bin/time ] || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
[ -x "$KELDAR" ] || die "keldar not found at $KELDAR"
[ -x "$GENERATOR" ] || die "generator not found at $GENERATOR"

releases='{"name":"CanyonC","config":[{"site":"CANYON","species":"CHN"}]},
  {"name":"CanyonS","config":[{"site":"CANYON","species":"STH"}]},
  {"name":"MillC","config":[{"site":"MILLCK","species":"CHN"}]},
  {"name":"MillS","config":[{"site":"MILLCK","species":"STH"}]},
  {"name":"FerryC","config":[{"site":"FERRY","species":"CHN"}]},
  {"name":"FerryS","config":[{"site":"FERRY","species":"STH"}]}'
sites=""
for i in $(seq 1 10); do sites+="${sites:+,}{\"name\":\"S$i\",\"config\":[{\"location\":\"A$i\"}]}"; done

measure() { # label keldar data
    local sim=$WORK/sim-$1
    rm -rf "$sim"
    mkdir -p "$sim"
    cat >"$sim/config.txt" <<JSON
{"dataDir": "$3", "year": 2023, "releases": [$releases], "sites": [$sites],
 "runs": [{"title": "big", "type": "kavel",
           "releases": ["CanyonC","CanyonS","MillC","MillS","FerryC","FerryS"],
           "sites": ["S1","S2","S3","S4","S5","S6","S7","S8","S9","S10"]}]}
JSON
    /usr/bin/time -f "%e %M" -o "$WORK/$1.time" "$2" "$sim" >/dev/null 2>"$WORK/$1.log" || true
    grep -q "Wrote" "$WORK/$1.log" || die "$1: the run wrote nothing; see $WORK/$1.log"
    read -r wall rss < <(tail -n 1 "$WORK/$1.time")
    printf '%-22s wall %7.2f s  peak RSS %5d MB\n' "$1" "$wall" $((rss / 1024))
    eval "rss_${1//[^a-z0-9]/_}=$rss"
    rm -rf "$sim"
}

for size in "2000000 50000 2m" "8000000 200000 8m"; do
    read -r events fish label <<<"$size"
    data=$WORK/data-$label
    if [ ! -f "$data/events.csv" ]; then
        echo "Generating $events events of $fish fish..."
        "$GENERATOR" --out "$data" --fish "$fish" --events "$events" --arrays 10 --seed 1 >/dev/null
    fi
    measure "keldar_$label" "$KELDAR" "$data"
    [ -z "$BASELINE" ] || measure "baseline_$label" "$BASELINE" "$data"
done

echo
echo "keldar peak RSS, 8 M / 2 M:   $(awk "BEGIN{printf \"%.2f\", $rss_keldar_8m / $rss_keldar_2m}")"
[ -z "$BASELINE" ] ||
    echo "baseline peak RSS, 8 M / 2 M: $(awk "BEGIN{printf \"%.2f\", $rss_baseline_8m / $rss_baseline_2m}")"
