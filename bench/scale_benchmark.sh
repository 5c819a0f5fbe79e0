#!/usr/bin/env bash
# Scale benchmark: keldar's cost should grow linearly with the size of the study. A fresh
# console load, and then a kavel run over every release and site, are timed on a small and on a
# large study (2 M events / 50 k fish and 8 M events / 200 k fish by default, four times as
# much); the large study's median load and run may take at most 4.4 times the small one's.
#
# Usage: bench/scale_benchmark.sh [--small EVENTS:FISH] [--large EVENTS:FISH] [--repeat N]
#                                 [--arrays N] [--seed S]
# Environment: KELDAR (default build/keldar), GENERATOR (default: kd_generate_study next to
# keldar's build), WORK (default bench/work/scale).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
KELDAR=${KELDAR:-$repo/build/keldar}
GENERATOR=${GENERATOR:-$(dirname "$KELDAR")/bench/kd_generate_study}
WORK=${WORK:-$repo/bench/work/scale}
SMALL=2000000:50000
LARGE=8000000:200000
REPEAT=3
ARRAYS=10
SEED=1
# Four times the study at most 4.4 times the time: linear, with a tenth to spare for noise.
LIMIT=4.4

while [ $# -gt 0 ]; do
    case $1 in
    --small) SMALL=$2; shift 2 ;;
    --large) LARGE=$2; shift 2 ;;
    --repeat) REPEAT=$2; shift 2 ;;
    --arrays) ARRAYS=$2; shift 2 ;;
    --seed) SEED=$2; shift 2 ;;
    -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "Unknown argument: $1" >&2; exit 2 ;;
    esac
done
for size in "$SMALL" "$LARGE"; do
    [[ $size =~ ^[1-9][0-9]*:[1-9][0-9]*$ ]] || { echo "Bad size $size (EVENTS:FISH)" >&2; exit 2; }
done
[[ $REPEAT =~ ^[1-9][0-9]*$ ]] || { echo "--repeat needs a positive whole number" >&2; exit 2; }

die() { echo "scale_benchmark: $*" >&2; exit 1; }
command -v sqlite3 >/dev/null 2>&1 || { apt-get update -qq && apt-get install -y -qq sqlite3 >/dev/null; }
[ -x /usr/bin/time ] || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
[ -x "$KELDAR" ] || die "keldar not found at $KELDAR"
[ -x "$GENERATOR" ] || die "generator not found at $GENERATOR"
mkdir -p "$WORK"

releases='{"name":"CanyonC","config":[{"site":"CANYON","species":"CHN"}]},
  {"name":"CanyonS","config":[{"site":"CANYON","species":"STH"}]},
  {"name":"MillC","config":[{"site":"MILLCK","species":"CHN"}]},
  {"name":"MillS","config":[{"site":"MILLCK","species":"STH"}]},
  {"name":"FerryC","config":[{"site":"FERRY","species":"CHN"}]},
  {"name":"FerryS","config":[{"site":"FERRY","species":"STH"}]}'
all_releases='["CanyonC","CanyonS","MillC","MillS","FerryC","FerryS"]'
sites="" all_sites=""
for i in $(seq 1 "$ARRAYS"); do
    sites+="${sites:+,}{\"name\":\"S$i\",\"config\":[{\"location\":\"A$i\"}]}"
    all_sites+="${all_sites:+,}\"S$i\""
done

median() { # values... -> their median
    printf '%s\n' "$@" | LC_ALL=C sort -g | awk '{ v[NR] = $1 } END {
        printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Each study is generated again only when its parameters change.
for label in small large; do
    size=$SMALL
    [ "$label" = small ] || size=$LARGE
    data=$WORK/data-$label
    stamp="fish=${size#*:} events=${size%:*} arrays=$ARRAYS seed=$SEED"
    if [ ! -f "$data.stamp" ] || [ "$(cat "$data.stamp")" != "$stamp" ]; then
        echo "Generating the $label study ($stamp)..."
        rm -rf "$data"
        "$GENERATOR" --out "$data" --fish "${size#*:}" --events "${size%:*}" --arrays "$ARRAYS" \
            --seed "$SEED" >/dev/null
        echo "$stamp" >"$data.stamp"
    fi
done

timed() { # name command... -> "wall cpu" in seconds; the log goes to WORK/name.log
    QT_QPA_PLATFORM=offscreen /usr/bin/time -f "%e %U %S" -o "$WORK/$1.time" "${@:2}" \
        >/dev/null 2>"$WORK/$1.log" || true
    tail -n 1 "$WORK/$1.time" | awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }'
}

# One fresh load and then the run on it, so that the run's time is the run alone.
measure() { # label run
    local data=$WORK/data-$1 sim=$WORK/sim-$1 wall cpu rows loaded
    local -n load_walls=load_walls_$1 run_walls=run_walls_$1
    mkdir -p "$sim"
    rm -f "$sim/keldar.db" "$sim/keldar.db-journal"
    printf '{\n    "dataDir": "%s",\n    "runs": []\n}\n' "$data" >"$sim/config.txt"
    # The console mode's exit code does not tell a failed load: count the rows instead.
    read -r wall cpu < <(timed "$1_load" "$KELDAR" "$sim")
    rows=$(($(wc -l <"$data/events.csv") - 1))
    loaded=$(sqlite3 "$sim/keldar.db" "select count(*) from events" 2>/dev/null || echo none)
    [ "$loaded" = "$rows" ] || die "$1: $loaded of $rows events loaded; see $WORK/$1_load.log"
    load_walls+=("$wall")
    printf '%-6s %2d of %d: load  wall %8.2f s  cpu %8.2f s\n' "$1" "$2" "$REPEAT" "$wall" "$cpu"

    cat >"$sim/config.txt" <<EOF
{"dataDir": "$data", "year": 2023, "releases": [$releases], "sites": [$sites],
 "runs": [{"title": "scale", "type": "kavel", "releases": $all_releases, "sites": [$all_sites]}]}
EOF
    read -r wall cpu < <(timed "$1_run" "$KELDAR" "$sim")
    grep -q "Wrote" "$WORK/$1_run.log" || die "$1: the kavel run wrote nothing; see $WORK/$1_run.log"
    run_walls+=("$wall")
    printf '%-6s %2d of %d: kavel wall %8.2f s  cpu %8.2f s\n' "$1" "$2" "$REPEAT" "$wall" "$cpu"
}

# Sizes in turns, so that a busy spell of the machine falls on both alike.
load_walls_small=() load_walls_large=() run_walls_small=() run_walls_large=()
for run in $(seq 1 "$REPEAT"); do
    measure small "$run"
    measure large "$run"
done

load_small=$(median "${load_walls_small[@]}")
load_large=$(median "${load_walls_large[@]}")
run_small=$(median "${run_walls_small[@]}")
run_large=$(median "${run_walls_large[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "inf" }'; }
load_ratio=$(ratio "$load_large" "$load_small")
run_ratio=$(ratio "$run_large" "$run_small")

echo
echo "Median wall times (rounds: $REPEAT, arrays: $ARRAYS, seed: $SEED):"
printf '%-14s %10s %10s %12s %12s\n' "" "events" "fish" "load (s)" "kavel (s)"
printf '%-14s %10s %10s %12s %12s\n' "small" "${SMALL%:*}" "${SMALL#*:}" "$load_small" "$run_small"
printf '%-14s %10s %10s %12s %12s\n' "large" "${LARGE%:*}" "${LARGE#*:}" "$load_large" "$run_large"
printf '%-14s %10s %10s %12s %12s\n' "large / small" "$(ratio "${LARGE%:*}" "${SMALL%:*}")" \
    "$(ratio "${LARGE#*:}" "${SMALL#*:}")" "$load_ratio" "$run_ratio"

failed=0
for check in "load $load_ratio" "kavel run $run_ratio"; do
    what=${check% *}
    value=${check##* }
    if awk -v r="$value" -v l="$LIMIT" 'BEGIN { exit !(r == "inf" || r > l) }'; then
        echo "NOT LINEAR: the $what took $value times as long on the large study (limit $LIMIT)"
        failed=1
    fi
done
[ "$failed" = 0 ] || exit 1
echo "Load and run grow linearly: both ratios at most $LIMIT."
