#!/usr/bin/env bash
# Benchmarks of the hive reader: builds the SOFTWARE-shaped hives if they are
# missing, builds the benchmark programs (Release), runs them and prints the
# table of figures.
#
#   bench/run.sh [SIZE_MB...]          sizes of the hives, 10 50 150 by default
#
# Environment: MORVALIN_BENCH_BUILD (build folder, build-bench), MORVALIN_BENCH_REPEAT
# (cold runs per hive, 5), MORVALIN_TESTDATA (the test data).
#
# Every stage writes its figures into $results, and the table is made from
# whatever is there (bench/results_table.py): rows of "tool, hive, measure,
# value, unit" in a .tsv file, or a Google Benchmark JSON file. A further
# benchmark, such as whole-process timings against libhivex doing the same work,
# is one more stage function called from main that runs its program over
# "${hive_files[@]}" and writes its own file into $results.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${MORVALIN_BENCH_BUILD:-$root/build-bench}
repeat=${MORVALIN_BENCH_REPEAT:-5}
testdata=${MORVALIN_TESTDATA:-$root/tests/data}
hives=$build/hives
results=$build/bench-results
sizes=("$@")
((${#sizes[@]} > 0)) || sizes=(10 50 150)
hive_files=()
for size in "${sizes[@]}"; do
    hive_files+=("$hives/software-${size}mb.hive")
done

build_programs() {
    echo "== Сборка (Release) в $build"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALIN_BENCH=ON \
        -DMORVALIN_TESTDATA="$testdata" >/dev/null
    cmake --build "$build" -j 2 --target morvalin-cli morvalin_lookup_pages \
        morvalin_hive_read_bench \
        morvalin_read_job morvalin_write_job hivex_read_job hivex_write_job morvalin_process_bench
}

build_hives() {
    echo "== Кусты: ${sizes[*]} МБ (кэш в $hives)"
    /usr/bin/python3 "$root/bench/make_software_hive.py" --dir "$hives" \
        --empty-hive "$testdata/hives/empty-hive" --cli "$build/cli/morvalin-cli" "${sizes[@]}"
}

run_lookup_pages() {
    echo "== Страницы, прочитанные десятью поисками в холодном кусте"
    "$build/bench/morvalin_lookup_pages" --repeat "$repeat" \
        --results "$results/lookup_pages.tsv" "${hive_files[@]}"
}

run_read_bench() {
    echo "== Тёплый кэш: открытие и поиски, dumpHive, validateHive"
    "$build/bench/morvalin_hive_read_bench" --benchmark_repetitions=3 \
        --benchmark_out="$results/hive_read.json" --benchmark_out_format=json \
        "${hive_files[@]}"
}

# Whole processes, our engine next to libhivex, each job a program of its own:
# (a) open, the ten lookups, close; (b) the same, then three values set and
# written back into the same file. Every run starts with the hive dropped from
# the page cache (for (b) a fresh copy) and ends with sync, inside the time;
# the tools take turns run by run. "baseline" is /bin/true timed the same way:
# what process start and sync alone cost on this machine.
#   run_process_job JOB LOOKUPS CHANGES HIVE...
run_process_job() {
    local job=$1 lookups=$2 changes=$3
    shift 3
    local -a args=(--job "$job" --lookups "$lookups" --repeat "$repeat"
        --work "$build/bench-work" --results "$results/processes.tsv"
        --tool "morvalin=$build/bench/morvalin_${job}_job"
        --tool "hivex=$build/bench/hivex_${job}_job")
    if [ "$job" = read ]; then
        args+=(--tool baseline=/bin/true)
    else
        # What was written must read back, by both engines.
        args+=(--changes "$changes" --check "$build/bench/morvalin_read_job"
            --check "$build/bench/hivex_read_job")
    fi
    "$build/bench/morvalin_process_bench" "${args[@]}" "$@"
}

run_processes() {
    echo "== Целые процессы: наш движок и libhivex, холодный куст, sync в конце"
    local ntuser=$testdata/hives/win7-ntuser.dat job
    for job in read write; do
        run_process_job "$job" "$root/bench/lookups-ntuser.tsv" "$root/bench/changes-ntuser.tsv" \
            "$ntuser"
        run_process_job "$job" "$root/bench/lookups.tsv" "$root/bench/changes-software.tsv" \
            "${hive_files[@]}"
    done
    rm -rf "$build/bench-work"
}

print_table() {
    echo "== Итог"
    /usr/bin/python3 "$root/bench/results_table.py" "$results"/*.tsv "$results"/*.json
}

main() {
    bash "$root/scripts/deps.sh"
    build_programs
    build_hives
    rm -rf "$results"
    mkdir -p "$results"
    run_lookup_pages
    run_read_bench
    run_processes
    print_table
}

main
