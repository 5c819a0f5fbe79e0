#!/usr/bin/env bash
# Load benchmark: how long keldar's console mode takes to load a large study (scan, insert, end
# of load) compared with the sqlite3 shell doing the same work at its best (.import in one
# transaction, then the same indices, foreign ids and summary tables).
#
# Usage: bench/load_benchmark.sh [--events N] [--fish N] [--arrays N] [--seed S] [--plain]
#                                [--nodes N] [--repeat N]
# --plain loads a plain study (every event at a random node, tag and time; --nodes N nodes over
# the arrays, 300 by default); --repeat N times keldar and the shell N times each, in turns,
# and compares the medians of their wall times.
# Environment: KELDAR (default build/keldar), GENERATOR (default: kd_generate_study next to
# keldar's build), WORK (default bench/work), SKIP_KELDAR=1 to time only the shell.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
KELDAR=${KELDAR:-$repo/build/keldar}
GENERATOR=${GENERATOR:-$(dirname "$KELDAR")/bench/kd_generate_study}
WORK=${WORK:-$repo/bench/work}
EVENTS=${EVENTS:-2000000}
FISH=${FISH:-}
ARRAYS=${ARRAYS:-10}
SEED=${SEED:-1}
SKIP_KELDAR=${SKIP_KELDAR:-0}
PLAIN=${PLAIN:-0}
NODES=${NODES:-}
REPEAT=${REPEAT:-1}

while [ $# -gt 0 ]; do
    case $1 in
    --events) EVENTS=$2; shift 2 ;;
    --fish) FISH=$2; shift 2 ;;
    --arrays) ARRAYS=$2; shift 2 ;;
    --seed) SEED=$2; shift 2 ;;
    --plain) PLAIN=1; shift ;;
    --nodes) NODES=$2; shift 2 ;;
    --repeat) REPEAT=$2; shift 2 ;;
    -h | --help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "Unknown argument: $1" >&2; exit 2 ;;
    esac
done
# About 40 events per fish, as in a study where fish linger at the arrays.
FISH=${FISH:-$(( EVENTS / 40 > 0 ? EVENTS / 40 : 1 ))}

die() { echo "load_benchmark: $*" >&2; exit 1; }

[[ $REPEAT =~ ^[1-9][0-9]*$ ]] || { echo "--repeat needs a positive whole number" >&2; exit 2; }
if [ "$PLAIN" = 1 ]; then
    NODES=${NODES:-300}
elif [ -n "$NODES" ]; then
    echo "--nodes needs --plain" >&2
    exit 2
fi

install_if_missing() { # command package
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "Installing $2..."
        apt-get update -qq && apt-get install -y -qq "$2" >/dev/null
    fi
}
install_if_missing sqlite3 sqlite3
[ -x /usr/bin/time ] || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }

[ -x "$GENERATOR" ] || die "generator not found at $GENERATOR (build target kd_generate_study or set GENERATOR)"
if [ "$SKIP_KELDAR" != 1 ] && [ ! -x "$KELDAR" ]; then
    die "keldar not found at $KELDAR (build target keldar, set KELDAR, or SKIP_KELDAR=1)"
fi

data=$WORK/data
mkdir -p "$WORK"

# The study is regenerated only when its parameters change.
stamp="fish=$FISH events=$EVENTS arrays=$ARRAYS seed=$SEED"
plain_args=()
if [ "$PLAIN" = 1 ]; then
    stamp+=" plain nodes=$NODES"
    plain_args=(--plain --nodes "$NODES")
fi
if [ ! -f "$WORK/data.stamp" ] || [ "$(cat "$WORK/data.stamp")" != "$stamp" ]; then
    echo "Generating study ($stamp)..."
    rm -rf "$data"
    "$GENERATOR" --out "$data" --fish "$FISH" --events "$EVENTS" --arrays "$ARRAYS" --seed "$SEED" \
        "${plain_args[@]}"
    echo "$stamp" >"$WORK/data.stamp"
fi

# Wall time in seconds and peak RSS in kB from a /usr/bin/time -v report.
wall_seconds() {
    awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); s = 0
        for (i = 1; i <= n; i++) s = s * 60 + p[i]
        printf "%.2f", s }' "$1"
}
peak_kb() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }
# User plus system time: on a busy machine it says more than the wall time.
cpu_seconds() {
    awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.2f", s }' "$1"
}
median() { # values... -> their median, as the times are printed
    printf '%s\n' "$@" | LC_ALL=C sort -g | awk '{ v[NR] = $1 } END {
        printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

tables="tags nodes events tag_attributes tag_life_data tag_locations removals release_groups arrays"
row_counts() { # db -> "table=count ..." for the seven data tables and the two summaries
    local db=$1 out="" t
    for t in $tables; do
        out+="$t=$(sqlite3 "$db" "select count(*) from $t") "
    done
    echo "$out"
}
contents() { # db -> one checksum over every row of the same tables, values and their types
    local db=$1 t
    for t in $tables; do
        sqlite3 -quote "$db" "select * from $t order by id" | md5sum
    done | md5sum | cut -d' ' -f1
}

# Each run's wall time, CPU time and peak RSS, keldar's and the shell's.
keldar_walls=() keldar_cpus=() keldar_peak=0
shell_walls=() shell_cpus=() shell_peak=0
run_label() { [ "$REPEAT" = 1 ] || echo " (run $1 of $REPEAT)"; }

# --- (a) keldar console mode: a simulation folder without runs does the whole load only.
sim=$WORK/sim
if [ "$SKIP_KELDAR" != 1 ]; then
    mkdir -p "$sim"
    printf '{\n    "dataDir": "%s",\n    "runs": []\n}\n' "$data" >"$sim/config.txt"
fi
time_keldar() { # run
    rm -f "$sim/keldar.db"
    echo "Timing keldar $sim$(run_label "$1") ..."
    # The console mode's exit code does not tell a failed load (see the row counts instead).
    QT_QPA_PLATFORM=offscreen /usr/bin/time -v -o "$WORK/keldar.time" \
        "$KELDAR" "$sim" >"$WORK/keldar.log" 2>&1 || true
    [ -f "$sim/keldar.db" ] || die "keldar wrote no database; see $WORK/keldar.log"
    keldar_walls+=("$(wall_seconds "$WORK/keldar.time")")
    keldar_cpus+=("$(cpu_seconds "$WORK/keldar.time")")
    local kb
    kb=$(peak_kb "$WORK/keldar.time")
    [ "$kb" -le "$keldar_peak" ] || keldar_peak=$kb
}

# --- (b) sqlite3 shell: the same tables, loaded with .import inside one transaction.
shell_db=$WORK/shell.db
sql=$WORK/shell_load.sql

# CSV header -> staging table of untyped columns; the typed tables then apply the same column
# affinities to the text that keldar's bound values get. Load ids are those keldar gives one
# file per kind (1 to 7 in kind order), so that both databases end up identical.
load_table() { # table csv-file load-id
    local table=$1 file=$2 load_id=$3 cols
    cols=$(head -n 1 "$file" | tr -d '\r')
    cat <<EOF
CREATE TEMP TABLE staging_$table($cols);
.import --csv --skip 1 '$file' staging_$table
INSERT INTO $table($cols, load_id) SELECT $cols, $load_id FROM staging_$table;
DROP TABLE staging_$table;
EOF
}

{
    cat <<'EOF'
.bail on
create table tags (id integer primary key, tag_code varchar(20), tagger_name_xlat varchar(20), bucket integer, lot integer, species_code_xlat varchar(20), length real, weight double, pit_code varchar(20), fish_tag_date integer, tag_activate_date datetime, tag_release_date datetime, release_location varchar(20), release_location_xlat varchar(100), release_location_river_kilometer integer, release_location_latitude real, release_location_longitude real, mort_xlat integer, pri real, load_id integer);
create table nodes (id integer primary key, node_code varchar(20), latitude varchar(20), longitude varchar(20), river_kilometer integer, location varchar(20), location_xlat varchar(20), deploy_date varchar(20), recovery_date varchar(20), elev_or_depth, load_id integer);
create table events (id integer primary key, node_code varchar(20), tag_code varchar(20), first_computed_datetime datetime, last_computed_datetime datetime, hits integer, load_id integer, tag_id integer, node_id integer);
create table tag_attributes (id integer primary key, tag_code varchar(20), attribute varchar(250), value varchar(250), load_id integer, tag_id integer);
create table tag_life_data (id integer primary key, tag_code varchar(20), lot integer, tag_life_days real, load_id integer);
create table tag_locations (id integer primary key, tag_code varchar(20),time datetime,northing real,easting real,elevation real, load_id integer, tag_id integer);
create table removals (id integer primary key, tag_code varchar(20), removal_date datetime, removal_river_km int, removal_type varchar(20), tag_id integer, load_id integer);
create table release_groups (id integer primary key, release_location varchar(20), release_location_river_kilometer integer, species_code_xlat varchar(10), tag_year integer, release_count integer);
create table arrays (id integer primary key, location varchar(20), river_kilometer integer, deploy_year integer, node_count integer);
BEGIN;
EOF
    id=0
    for t in tags nodes events tag_attributes tag_life_data tag_locations removals; do
        id=$((id + 1))
        load_table "$t" "$data/$t.csv" "$id"
    done
    cat <<'EOF'
create index idx_nodes_node_code on nodes(node_code);
create index if not exists idx_tags_tag_code on tags(tag_code);
UPDATE events SET node_id = (SELECT nodes.id FROM nodes WHERE events.node_code = nodes.node_code);
UPDATE events SET tag_id = (SELECT tags.id FROM tags WHERE events.tag_code = tags.tag_code);
UPDATE tag_attributes SET tag_id = (SELECT tags.id FROM tags WHERE tag_attributes.tag_code = tags.tag_code);
UPDATE tag_locations SET tag_id = (SELECT tags.id FROM tags WHERE tag_locations.tag_code = tags.tag_code);
UPDATE removals SET tag_id = (SELECT tags.id FROM tags WHERE removals.tag_code = tags.tag_code);
create index if not exists idx_events_tag_id on events(tag_id);
create index if not exists idx_events_node_id on events(node_id);
create index if not exists idx_nodes_location on nodes(location);
create index if not exists idx_tag_attributes_tag_id on tag_attributes(tag_id);
create index if not exists idx_tag_locations_tag_id on tag_locations(tag_id);
create index if not exists idx_removals_tag_id on removals(tag_id);
COMMIT;
INSERT INTO release_groups (release_location, release_location_river_kilometer, species_code_xlat, tag_year, release_count) SELECT release_location, release_location_river_kilometer, species_code_xlat, strftime('%Y', tag_release_date) as tag_year, count(*) as release_count FROM tags WHERE mort_xlat = 0 GROUP BY release_location, release_location_river_kilometer, species_code_xlat, strftime('%Y', tag_release_date);
INSERT INTO arrays (location, river_kilometer, deploy_year, node_count) SELECT location, river_kilometer, strftime('%Y', deploy_date) as deploy_year, count(distinct location_xlat) as node_count FROM nodes GROUP BY location, river_kilometer, strftime('%Y', deploy_date);
EOF
} >"$sql"

time_shell() { # run
    rm -f "$shell_db" "$shell_db-journal"
    echo "Timing sqlite3 shell$(run_label "$1") ..."
    /usr/bin/time -v -o "$WORK/shell.time" sqlite3 "$shell_db" <"$sql" >"$WORK/shell.log" 2>&1 ||
        die "sqlite3 shell load failed; see $WORK/shell.log"
    shell_walls+=("$(wall_seconds "$WORK/shell.time")")
    shell_cpus+=("$(cpu_seconds "$WORK/shell.time")")
    local kb
    kb=$(peak_kb "$WORK/shell.time")
    [ "$kb" -le "$shell_peak" ] || shell_peak=$kb
}

# In turns, so that a busy spell of the machine falls on both alike.
for run in $(seq 1 "$REPEAT"); do
    [ "$SKIP_KELDAR" = 1 ] || time_keldar "$run"
    time_shell "$run"
done

# --- Report. The table holds the medians (of one run each by default); the checks compare the
# last databases.
shell_s=$(median "${shell_walls[@]}")
shell_cpu=$(median "${shell_cpus[@]}")
shell_counts=$(row_counts "$shell_db")
shell_events=$(sqlite3 "$shell_db" "select count(*) from events")
if [ "$SKIP_KELDAR" != 1 ]; then
    keldar_s=$(median "${keldar_walls[@]}")
    keldar_cpu=$(median "${keldar_cpus[@]}")
fi
echo
echo "Study: $stamp ($(du -sh "$data" | cut -f1) of CSV)"
if [ "$REPEAT" != 1 ]; then
    printf '%-14s %12s %12s %12s %12s\n' "" "keldar wall" "keldar cpu" "shell wall" "shell cpu"
    for i in $(seq 0 $((REPEAT - 1))); do
        printf '%-14s %12s %12s %12s %12s\n' "run $((i + 1))" "${keldar_walls[$i]:--}" \
            "${keldar_cpus[$i]:--}" "${shell_walls[$i]}" "${shell_cpus[$i]}"
    done
    echo "Medians of $REPEAT runs (peak RSS: the largest):"
fi
printf '%-14s %10s %10s %14s %14s\n' "" "wall (s)" "cpu (s)" "peak RSS (MB)" "events rows"
if [ "$SKIP_KELDAR" != 1 ]; then
    keldar_counts=$(row_counts "$sim/keldar.db")
    keldar_events=$(sqlite3 "$sim/keldar.db" "select count(*) from events")
    printf '%-14s %10s %10s %14s %14s\n' "keldar" "$keldar_s" "$keldar_cpu" \
        "$((keldar_peak / 1024))" "$keldar_events"
fi
printf '%-14s %10s %10s %14s %14s\n' "sqlite3 shell" "$shell_s" "$shell_cpu" \
    "$((shell_peak / 1024))" "$shell_events"
if [ "$SKIP_KELDAR" != 1 ]; then
    of_medians=""
    [ "$REPEAT" = 1 ] || of_medians=" of the medians"
    awk -v k="$keldar_s" -v s="$shell_s" -v kc="$keldar_cpu" -v sc="$shell_cpu" \
        -v what="$of_medians" 'BEGIN {
            if (s > 0) printf "ratio keldar/shell%s: %.2f (wall)", what, k / s
            if (sc > 0) printf ", %.2f (cpu)", kc / sc
            print "" }'
    if [ "$keldar_counts" = "$shell_counts" ]; then
        echo "Row counts agree: $shell_counts"
    else
        echo "ROW COUNTS DIFFER"
        echo "  keldar: $keldar_counts"
        echo "  shell:  $shell_counts"
        exit 1
    fi
    # Same rows are not enough: ids, foreign ids and stored values must match too.
    if [ "$(contents "$sim/keldar.db")" = "$(contents "$shell_db")" ]; then
        echo "Table contents agree."
    else
        echo "TABLE CONTENTS DIFFER (same row counts)"
        exit 1
    fi
fi
