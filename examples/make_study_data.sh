#!/usr/bin/env bash
# Rebuilds examples/study/data from the study generator and then adds the irregularities that
# real field data have and that the loader must cope with:
#   - the nodes file sits in a subfolder and carries an extra receiver_sn column;
#   - the events of the lowest array (A6) come as a separate download, in a subfolder, with
#     tag_code first and an extra receiver_sn column;
#   - the removals file uses the alternative header names riverkm and removal_type_id;
#   - the tag life data file has a hand-typed header (capitals, blanks after commas) and
#     Windows line ends;
#   - a field-notes spreadsheet that is no data file at all.
# The generator is deterministic, so running this again gives the same files.
#
# Usage: examples/make_study_data.sh [path/to/kd_generate_study]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
gen=${1:-$here/../build/bench/kd_generate_study}
out=$here/study/data
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$gen" --out "$tmp" --fish 200 --arrays 6 --releases 3 --year 2023 --seed 9

rm -rf "$out"
mkdir -p "$out/receivers" "$out/downloads"
cp "$tmp/tags.csv" "$tmp/tag_attributes.csv" "$tmp/tag_locations.csv" "$out/"

sed '1s/.*/tag_code,removal_date,riverkm,removal_type_id/' "$tmp/removals.csv" >"$out/removals.csv"

sed '1s/.*/Tag_Code, Lot, Tag_Life_Days/' "$tmp/tag_life_data.csv" | sed 's/$/\r/' \
    >"$out/tag_life_data.csv"

# Receiver serial numbers follow from the node code, so both files agree.
sn='function sn(code) { split(substr(code, 2), p, "_"); return sprintf("SN3%02d%s7", p[1], p[2]) }'

awk -F, -v OFS=, "$sn"'
    NR == 1 { $1 = $1 ",receiver_sn"; print; next }
    { $1 = $1 "," sn($1); print }' \
    "$tmp/nodes.csv" >"$out/receivers/nodes.csv"

awk -F, -v OFS=, -v main="$out/events.csv" -v a6="$out/downloads/A6_events.csv" "$sn"'
    NR == 1 { print >main; print "tag_code,node_code,first_computed_datetime,last_computed_datetime,hits,receiver_sn" >a6; next }
    $1 ~ /^A6_/ { print $2, $1, $3, $4, $5, sn($1) >a6; next }
    { print >main }' "$tmp/events.csv"

printf 'date,crew,note\n2023-01-16,JSM/KLR,deployed A1 receivers; high flow\n2023-04-24,ADW,A6_02 found silted in; battery dead\n2023-08-20,JSM,pulled A1-A3\n' \
    >"$out/field_notes.csv"

echo "Wrote $out"
