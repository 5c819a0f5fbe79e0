#!/usr/bin/env bash
# Builds the fuzz targets with clang (build-fuzz/, or FUZZ_BUILD_DIR) and runs each for the given
# number of seconds: bash fuzz/run.sh SECONDS [TARGET...]. New inputs go to the build folder's
# corpus/<target>/ (the seed corpus fuzz/corpus/<target>/ is only read); a crashing input is
# written to its crashes/<target>/ and fails the script. Extra libFuzzer flags: FUZZ_FLAGS.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds="${1:-}"
if [[ ! "$seconds" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
shift
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(json config loader pipeline falseevents survival window)
fi

bash tools/install_missing.sh cmake ninja-build clang libclang-rt-dev qt6-base-dev \
    libqt6sql6-sqlite libsqlite3-dev libgl-dev

build_dir="${FUZZ_BUILD_DIR:-build-fuzz}"
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKELDAR_FUZZ=ON -DKELDAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target fuzzers


export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
summary=()
failed=0
for target in "${targets[@]}"; do
    corpus="$build_dir/corpus/$target"
    crashes="$build_dir/crashes/$target"
    log="$build_dir/fuzz-$target.log"
    mkdir -p "$corpus" "$crashes"
    echo "== $target: $seconds s"
    flags=(-max_total_time="$seconds" -print_final_stats=1 -timeout=30 -artifact_prefix="$crashes/")
    if [[ -f "fuzz/dict/$target.dict" ]]; then
        flags+=(-dict="fuzz/dict/$target.dict")
    fi
    status=0
    # shellcheck disable=SC2086 # FUZZ_FLAGS holds several flags
    "$build_dir/fuzz/fuzz_$target" "${flags[@]}" ${FUZZ_FLAGS:-} "$corpus" "fuzz/corpus/$target" \
        >"$log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    result=ok
    if ((status != 0)); then
        result="FAILED (exit $status, see $log and $crashes)"
        failed=1
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -5 >&2 || true
    fi
    summary+=("$(printf '%-12s executions %-10s coverage %-6s features %-6s %s' \
        "$target" "${execs:-?}" "${cov:-?}" "${features:-?}" "$result")")
done
echo
printf '%s\n' "${summary[@]}"
exit "$failed"
