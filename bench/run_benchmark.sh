#!/usr/bin/env bash
# Run benchmark: how long keldar's console "kavel" run (extraction, capture codes, file) takes
# compared with the sqlite3 shell running the extraction's SQL alone, and how long a
# "false_events" run with 1,000 sets takes, on a large generated study.
#
# Usage: bench/run_benchmark.sh [--events N] [--fish N] [--sets N] [--seed S]
# Environment: KELDAR (default build/keldar), GENERATOR (default: kd_generate_study next to
# keldar's build), WORK (default bench/work/runs).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
KELDAR=${KELDAR:-$repo/build/keldar}
GENERATOR=${GENERATOR:-$(dirname "$KELDAR")/bench/kd_generate_study}
WORK=${WORK:-$repo/bench/work/runs}
EVENTS=2000000
FISH=50000
SETS=1000
SEED=1

while [ $# -gt 0 ]; do
    case $1 in
    --events) EVENTS=$2; shift 2 ;;
    --fish) FISH=$2; shift 2 ;;
    --sets) SETS=$2; shift 2 ;;
    --seed) SEED=$2; shift 2 ;;
    -h | --help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "Unknown argument: $1" >&2; exit 2 ;;
    esac
done

die() { echo "run_benchmark: $*" >&2; exit 1; }
command -v sqlite3 >/dev/null 2>&1 || { apt-get update -qq && apt-get install -y -qq sqlite3 >/dev/null; }
[ -x /usr/bin/time ] || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
[ -x "$KELDAR" ] || die "keldar not found at $KELDAR"
[ -x "$GENERATOR" ] || die "generator not found at $GENERATOR"

sim=$WORK/sim
data=$WORK/data
mkdir -p "$sim"
stamp="fish=$FISH events=$EVENTS seed=$SEED sets=$SETS"
if [ ! -f "$WORK/data.stamp" ] || [ "$(cat "$WORK/data.stamp")" != "$stamp" ]; then
    echo "Generating study ($stamp)..."
    rm -rf "$data" "$sim"
    mkdir -p "$sim"
    "$GENERATOR" --out "$data" --fish "$FISH" --events "$EVENTS" --arrays 10 --seed "$SEED" >/dev/null
    # False events: SETS sets of 20 detections of random tagged fish at the four sites.
    awk -F, -v sets="$SETS" -v seed="$SEED" 'NR > 1 { tags[n++] = $1 }
        END {
            srand(seed); split("S1 S4 S7 S10", site, " ")
            print "set,site,tag_code,first,last,value"
            for (s = 1; s <= sets; ++s)
                for (e = 0; e < 20; ++e) {
                    t = sprintf("2023-%02d-%02d %02d:%02d:00", 3 + int(rand() * 4), 1 + int(rand() * 28),
                                int(rand() * 24), int(rand() * 60))
                    printf "rep%04d,%s,%s,%s,%s,1\n", s, site[1 + int(rand() * 4)], tags[int(rand() * n)], t, t
                }
        }' "$data/tags.csv" >"$sim/false.csv"
    echo "$stamp" >"$WORK/data.stamp"
fi

releases='{"name":"CanyonC","config":[{"site":"CANYON","species":"CHN"}]},
  {"name":"CanyonS","config":[{"site":"CANYON","species":"STH"}]},
  {"name":"MillC","config":[{"site":"MILLCK","species":"CHN"}]},
  {"name":"MillS","config":[{"site":"MILLCK","species":"STH"}]},
  {"name":"FerryC","config":[{"site":"FERRY","species":"CHN"}]},
  {"name":"FerryS","config":[{"site":"FERRY","species":"STH"}]}'
sites=""
for i in $(seq 1 10); do sites+="${sites:+,}{\"name\":\"S$i\",\"config\":[{\"location\":\"A$i\"}]}"; done
all_releases='["CanyonC","CanyonS","MillC","MillS","FerryC","FerryS"]'
all_sites='["S1","S2","S3","S4","S5","S6","S7","S8","S9","S10"]'
write_config() { # runs-json
    cat >"$sim/config.txt" <<EOF
{"dataDir": "$data", "year": 2023, "releases": [$releases], "sites": [$sites], "runs": [$1]}
EOF
}

# Load once; the timed runs then find every file current.
write_config ""
"$KELDAR" "$sim" >/dev/null 2>&1 || [ $? -eq 1 ] || die "load failed"

timed() { # label command...
    /usr/bin/time -f "%e %U %M" -o "$WORK/$1.time" "${@:2}" >/dev/null 2>"$WORK/$1.log" || true
    read -r wall cpu rss < <(tail -n 1 "$WORK/$1.time")
    printf '%-28s wall %6.2f s  cpu %6.2f s  peak RSS %4d MB\n' "$1" "$wall" "$cpu" $((rss / 1024))
    eval "${1//[^a-z]/_}_wall=$wall"
}

write_config "{\"title\":\"big\",\"type\":\"kavel\",\"releases\":$all_releases,\"sites\":$all_sites}"
timed keldar_kavel "$KELDAR" "$sim"
grep -q "Wrote" "$WORK/keldar_kavel.log" || die "kavel run wrote nothing; see $WORK/keldar_kavel.log"

# The same SQL in the shell: the run's releases and sites, the three working tables, the index
# on the detections and the capture query, its rows read and dropped.
cp "$sim/keldar.db" "$WORK/shell.db"
cat >"$WORK/extract.sql" <<'EOF'
DELETE FROM releases_release_groups; DELETE FROM arrays_sites; DELETE FROM releases_runs; DELETE FROM runs_sites; DELETE FROM runs;
INSERT INTO releases_release_groups (release_id, release_group_id) SELECT r.id, g.id FROM releases r JOIN release_groups g ON g.release_location = r.release_location AND g.species_code_xlat = r.species_code_xlat AND g.tag_year = r.release_year;
INSERT INTO arrays_sites (array_id, site_id) SELECT a.id, s.id FROM sites s JOIN arrays a ON a.location = s.location AND a.deploy_year = s.deploy_year;
INSERT INTO runs (id, name, format) VALUES (999, 'bench', 'KAVEL');
INSERT INTO releases_runs (release_id, run_id) SELECT id, 999 FROM releases;
INSERT INTO runs_sites (site_id, run_id) SELECT id, 999 FROM sites;
CREATE TEMP TABLE ns AS SELECT sites.name, nodes.id as node_id, nodes.river_kilometer FROM nodes JOIN arrays ON nodes.location = arrays.location AND STRFTIME('%Y', nodes.deploy_date) = arrays.deploy_year JOIN arrays_sites ON arrays.id = arrays_sites.array_id JOIN sites ON arrays_sites.site_id = sites.id JOIN runs_sites ON runs_sites.site_id = sites.id AND runs_sites.run_id=999;
CREATE TEMP TABLE rt AS SELECT releases.name AS release_name, tags.id AS tag_id, tags.tag_code,  tags.lot, tags.tag_activate_date, tags.tag_release_date, tags.tagger_name_xlat, tags.bucket, tags.length, tags.weight, tags.release_location_river_kilometer FROM tags JOIN release_groups ON tags.release_location = release_groups.release_location AND STRFTIME('%Y', tags.tag_release_date) = release_groups.tag_year AND tags.species_code_xlat = release_groups.species_code_xlat JOIN releases_release_groups ON release_groups.id = releases_release_groups.release_group_id JOIN releases ON releases.id = releases_release_groups.release_id JOIN releases_runs ON releases_runs.release_id = releases.id AND releases_runs.run_id=999;
CREATE TEMP TABLE dt AS SELECT Tag.id as tag_id, NodeSite.name as site_name, NodeSite.river_kilometer, Event.first_computed_datetime, Event.last_computed_datetime FROM  `events` Event JOIN `ns` NodeSite ON Event.node_id = NodeSite.node_id JOIN `tags` Tag on Event.tag_id = Tag.id;
CREATE INDEX temp.dt_tag_id ON dt(tag_id);
Select ReleaseTag.release_name, ReleaseTag.tag_code, ReleaseTag.lot, ReleaseTag.tag_activate_date, ReleaseTag.tag_release_date, ReleaseTag.tagger_name_xlat, ReleaseTag.bucket, ReleaseTag.length, ReleaseTag.weight, ReleaseTag.release_location_river_kilometer, Detection.site_name, MIN(Detection.first_computed_datetime) as first_computed_datetime, MAX(Detection.last_computed_datetime) as last_computed_datetime, Removal.removal_river_km   FROM `rt` ReleaseTag LEFT OUTER JOIN 'dt' Detection ON ReleaseTag.tag_id = Detection.tag_id LEFT OUTER JOIN `removals` Removal on ReleaseTag.tag_id = Removal.tag_id GROUP BY ReleaseTag.release_name, ReleaseTag.tag_code, Detection.site_name ORDER BY ReleaseTag.release_name, ReleaseTag.tag_code, Detection.river_kilometer DESC;
EOF
timed shell_extraction sqlite3 "$WORK/shell.db" ".read $WORK/extract.sql"
# The statements without the index on the detections, as the extraction was first written.
cp "$sim/keldar.db" "$WORK/shell.db"
grep -v "CREATE INDEX" "$WORK/extract.sql" >"$WORK/extract_plain.sql"
timed shell_extraction_no_index sqlite3 "$WORK/shell.db" ".read $WORK/extract_plain.sql"
rm -f "$WORK/shell.db"

write_config "{\"title\":\"big\",\"type\":\"false_events\",\"releases\":[\"CanyonC\",\"MillC\",\"FerryS\"],\"sites\":[\"S1\",\"S4\",\"S7\",\"S10\"],\"falseEventsFile\":\"false.csv\"}"
timed keldar_false_events "$KELDAR" "$sim"
lines=$(($(wc -l <"$sim/big_false_events.csv")))

echo
echo "kavel run / shell extraction SQL:            $(awk "BEGIN{printf \"%.2f\", $keldar_kavel_wall / $shell_extraction_wall}")"
echo "kavel run / shell SQL without the index:     $(awk "BEGIN{printf \"%.2f\", $keldar_kavel_wall / $shell_extraction_no_index_wall}")"
echo "false_events run: $((lines - 2)) sets + Baseline in ${keldar_false_events_wall} s"
