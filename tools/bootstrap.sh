#!/usr/bin/env bash
# Installs what is missing, builds Keldar and then either runs the example study
# (`bootstrap.sh example`) or every test (`bootstrap.sh test`).
set -euo pipefail

cd "$(dirname "$0")/.."
mode="${1:-}"
if [[ "$mode" != example && "$mode" != test ]]; then
    echo "usage: $0 example|test" >&2
    exit 2
fi

bash tools/install_missing.sh cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools \
    libqt6sql6-sqlite libsqlite3-dev libgl-dev clang-format fonts-dejavu-core

build_dir="${BUILD_DIR:-build}"
# Line tables rather than full debug information: stack traces keep their lines, and the
# compiler spends a quarter less time.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null

if [[ "$mode" == test ]]; then
    bash tools/check_format.sh
    cmake --build "$build_dir" -j2
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j2

    # The sanitizer pass: the whole suite again, and the fuzz targets over their corpora, built
    # with AddressSanitizer and UndefinedBehaviorSanitizer. No report is allowed: every report
    # aborts its program, and a program killed by a signal fails its test even where the test
    # expects a failing exit status.
    sanitize_dir="${build_dir%/}-asan"
    # -O1, as the sanitizers advise: the checks stay, the compiler's time goes down. Only what
    # the tests run is built there (no benchmark programs).
    cmake -S . -B "$sanitize_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DKELDAR_BUILD_BENCH=OFF \
        -DKELDAR_SANITIZE=ON >/dev/null
    cmake --build "$sanitize_dir" -j2
    export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:check_initialization_order=1"
    export UBSAN_OPTIONS="abort_on_error=1:halt_on_error=1:print_stacktrace=1"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$sanitize_dir" --output-on-failure -j2
    exit 0
fi

cmake --build "$build_dir" -j2 --target keldar
run_dir="$build_dir/example-study"
rm -rf "$run_dir"
cp -r examples/study "$run_dir"
status=0
"$build_dir/keldar" "$run_dir" || status=$?
# The console returns 1 once every run was handled.
if [[ $status -ne 1 ]]; then
    echo "keldar failed with exit status $status" >&2
    exit 1
fi
echo
echo "Database:     $(realpath "$run_dir/keldar.db")"
echo "Result files: $(realpath "$run_dir/results")"
ls -l "$run_dir/results"
