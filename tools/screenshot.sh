#!/bin/sh
# Starts the desktop program under a virtual X server on a copy of the example study and saves
# a picture of its window; then selects the Survival run lower_river, runs it and saves a picture
# of the survival results window.
#
#   tools/screenshot.sh [keldar executable] [picture] [results picture]
#
# Defaults: build/keldar, docs/screenshot.png and docs/survival_window.png of the source tree.
# Needs Xvfb, xwininfo, sqlite3 and python3 (standard library only); the clicks go through the
# X server's XTEST extension. The study is copied, so examples/ stays clean; the user's own
# settings are not touched.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
keldar=$(realpath "${1:-$root/build/keldar}")
picture=$(realpath -m "${2:-$root/docs/screenshot.png}")
results_picture=$(realpath -m "${3:-$root/docs/survival_window.png}")
for tool in Xvfb xwininfo sqlite3 python3; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is needed" >&2; exit 1; }
done
[ -x "$keldar" ] || { echo "screenshot: no program at $keldar" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/keldar.XXXXXX")
xvfb_pid=
keldar_pid=
cleanup() {
    [ -n "$keldar_pid" ] && kill "$keldar_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The study as an analyst would have it: its data folder, loaded into keldar.db inside it (the
# console mode loads the folder that holds config.txt when dataDir is ".").
cp -R "$root/examples/study/data" "$work/study"
rm -f "$work/study/keldar.db"
mkdir -p "$work/results" "$work/config/Vantor"
printf '{ "dataDir": ".", "runs": [] }\n' >"$work/study/config.txt"
XDG_CONFIG_HOME="$work/config" "$keldar" "$work/study" >/dev/null 2>&1 || true
rm -f "$work/study/config.txt"
[ -s "$work/study/keldar.db" ] || { echo "screenshot: the study did not load" >&2; exit 1; }

# Releases, sites and two runs, as built on the Releases and Sites tabs and in the wizard.
sqlite3 "$work/study/keldar.db" <<'SQL'
DELETE FROM releases; DELETE FROM sites; DELETE FROM runs;
DELETE FROM releases_release_groups; DELETE FROM arrays_sites;
DELETE FROM releases_runs; DELETE FROM runs_sites;
INSERT INTO releases (name, release_location_river_kilometer)
    SELECT CASE release_location WHEN 'CANYON' THEN 'Canyon' WHEN 'MILLCK' THEN 'MillCreek'
           ELSE 'Ferry' END, release_location_river_kilometer
    FROM release_groups
    WHERE (release_location, species_code_xlat) IN
          (VALUES ('CANYON', 'CHN'), ('MILLCK', 'CHN'), ('FERRY', 'STH'));
INSERT INTO releases_release_groups (release_id, release_group_id)
    SELECT r.id, g.id FROM releases r JOIN release_groups g
    ON g.release_location_river_kilometer = r.release_location_river_kilometer
    AND (g.release_location, g.species_code_xlat) IN
        (VALUES ('CANYON', 'CHN'), ('MILLCK', 'CHN'), ('FERRY', 'STH'));
INSERT INTO sites (name, river_kilometer) SELECT location, river_kilometer FROM arrays;
INSERT INTO arrays_sites (array_id, site_id)
    SELECT a.id, s.id FROM arrays a JOIN sites s ON s.name = a.location;
INSERT INTO runs (name, format) VALUES ('all_sites', 'Standard'), ('four_sites', 'KAVEL'),
    ('lower_river', 'Survival');
INSERT INTO releases_runs (release_id, run_id) SELECT r.id, u.id FROM releases r, runs u;
INSERT INTO runs_sites (site_id, run_id)
    SELECT s.id, u.id FROM sites s, runs u
    WHERE u.name = 'all_sites' OR (u.name = 'four_sites' AND s.name IN ('A1', 'A3', 'A4', 'A5'))
    OR (u.name = 'lower_river' AND s.name IN ('A3', 'A4', 'A5', 'A6'));
SQL

cat >"$work/config/Vantor/Keldar.conf" <<EOF
[General]
DataDir=$work/study
OutDir=$work/results
EOF

# A virtual screen of our own; -displayfd tells which display number it took.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -ac 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
display=:$(cat "$work/display")

(cd "$work" && DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    exec "$keldar") >/dev/null 2>&1 &
keldar_pid=$!
tries=0
until geometry=$(xwininfo -display "$display" -name Keldar 2>/dev/null) &&
    echo "$geometry" | grep -q 'Map State: IsViewable'; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "screenshot: the window did not appear" >&2; exit 1; }
    sleep 0.1
done
sleep 1
xtool="$work/xtool.py"
cat >"$xtool" <<'PYTHON'
import socket, struct, sys, zlib

# shoot X Y WIDTH HEIGHT PICTURE: writes the pixels of that part of the screen as a PNG.
# click X Y: moves the pointer there and clicks the left button.
number, command = sys.argv[1:3]
conn = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
conn.connect("/tmp/.X11-unix/X" + number)

def read(count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            sys.exit("screenshot: the X server closed the connection")
        data += chunk
    return data

conn.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
status, _, _, _, length = struct.unpack("<BBHHH", read(8))
setup = read(length * 4)
if status != 1:
    sys.exit("screenshot: the X server refused the connection")
vendor_length, = struct.unpack_from("<H", setup, 16)
format_count = setup[21]
image_byte_order = setup[22]
offset = 32 + (vendor_length + 3) // 4 * 4
formats = {}
for i in range(format_count):
    depth, bits_per_pixel, pad = struct.unpack_from("<BBB", setup, offset + 8 * i)
    formats[depth] = (bits_per_pixel, pad)
offset += 8 * format_count
root, = struct.unpack_from("<I", setup, offset)
root_depth = setup[offset + 38]

if command == "click":
    x, y = int(sys.argv[3]), int(sys.argv[4])
    conn.sendall(struct.pack("<BxHH2x", 98, 4, 5) + b"XTEST\0\0\0")
    reply = read(32)
    if reply[0] != 1 or not reply[8]:
        sys.exit("screenshot: the X server has no XTEST extension")
    opcode = reply[9]
    for kind, detail in ((6, 0), (4, 1), (5, 1)):  # motion, button press, button release
        conn.sendall(struct.pack("<BBHBBHIIIIhh8x", opcode, 2, 9, kind, detail, 0, 0, 0, 0, 0,
                                 x, y))
    # A round trip, so that the server has taken the events before the connection closes.
    conn.sendall(struct.pack("<BxH", 43, 1))
    read(32)
    sys.exit(0)

x, y, width, height, path = sys.argv[3:]
x, y, width, height = int(x), int(y), int(width), int(height)
bits_per_pixel, pad = formats[root_depth]
if bits_per_pixel != 32 or image_byte_order != 0:
    sys.exit("screenshot: only 32-bit little-endian screens are read")

conn.sendall(struct.pack("<BBHIhhHHI", 73, 2, 5, root, x, y, width, height, 0xFFFFFFFF))
header = read(32)
if header[0] != 1:
    sys.exit("screenshot: GetImage failed (X error %d)" % header[1])
length, = struct.unpack_from("<I", header, 4)
pixels = read(length * 4)

stride = width * 4
rows = bytearray()
for row in range(height):
    line = pixels[row * stride:(row + 1) * stride]
    rgb = bytearray(width * 3)
    rgb[0::3] = line[2::4]
    rgb[1::3] = line[1::4]
    rgb[2::3] = line[0::4]
    rows += b"\0" + rgb

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

with open(path, "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n")
    out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
    out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
    out.write(chunk(b"IEND", b""))
PYTHON

# The geometry of the window named $1 (when it is shown) in x, y, width and height.
find_window() {
    geometry=$(xwininfo -display "$display" -name "$1" 2>/dev/null) &&
        echo "$geometry" | grep -q 'Map State: IsViewable' || return 1
    value() { echo "$geometry" | sed -n "s/^ *$1: *//p" | head -n 1; }
    x=$(value 'Absolute upper-left X')
    y=$(value 'Absolute upper-left Y')
    width=$(value 'Width')
    height=$(value 'Height')
}

mkdir -p "$(dirname "$picture")" "$(dirname "$results_picture")"
find_window Keldar
python3 "$xtool" "${display#:}" shoot "$x" "$y" "$width" "$height" "$picture"
echo "screenshot: wrote $picture (${width}x$height)"

# The third row of the runs table is lower_river; the Run button leads the tool bar. The places
# are those of the window as the program lays it out on this screen.
python3 "$xtool" "${display#:}" click $((x + 60)) $((y + 341))
sleep 0.5
python3 "$xtool" "${display#:}" click $((x + 40)) $((y + 38))
tries=0
until find_window "Survival: lower_river"; do
    tries=$((tries + 1))
    [ $tries -le 300 ] || { echo "screenshot: the results window did not appear" >&2; exit 1; }
    sleep 0.1
done
sleep 1
find_window "Survival: lower_river"
python3 "$xtool" "${display#:}" shoot "$x" "$y" "$width" "$height" "$results_picture"
echo "screenshot: wrote $results_picture (${width}x$height)"
