#!/usr/bin/python3
"""Prints the figures of the reader benchmarks as tables.

    results_table.py RESULT_FILE...

A result file is either
  *.tsv   rows "tool, hive, measure, value, unit" separated by tabs (what
          morvalin_lookup_pages --results writes; any further benchmark, such as
          one timing libhivex doing the same work, writes its figures this way), or
  *.json  the --benchmark_out of a Google Benchmark program whose benchmarks are
          named MEASURE/HIVE (morvalin_hive_read_bench); its tool is "morvalin"
          unless the file name starts with another tool's name and a dash
          ("hivex-read.json").
Rows are one per tool and hive, hives in order of size; measures this script
does not know get a column of their own, headed by their name. Some columns are
made from others: the share of the file read, the peak resident set without
the pages of files (morvalin_process_bench), and, for each hive that both our
engine and hivex ran through the same job, the ratio of their figures (rows
of the tool "hivex÷morvalin").
"""

import csv
import json
import os
import re
import sys
from collections import defaultdict

# measure: (table, column heading, unit of the column)
KNOWN = {
    "file_pages": ("cold", "страниц в файле", "pages"),
    "cold_cached_pages": ("cold", "прочитано в кэш", "pages"),
    "cold_mapped_pages": ("cold", "отображено процессом", "pages"),
    "cold_major_faults": ("cold", "major faults", "faults"),
    "cold_share": ("cold", "доля файла, %", "%"),
    "cold_open_lookups": ("cold", "холодно, мс", "ms"),
    "warm_open_lookups": ("cold", "тепло, мкс", "us"),
    "OpenAndLookups": ("warm", "открытие + поиски, мкс", "us"),
    "Lookups": ("warm", "поиски в открытом, мкс", "us"),
    "DumpHive": ("warm", "dumpHive, мс", "ms"),
    "ValidateHive": ("warm", "validateHive, мс", "ms"),
    # morvalin_process_bench: whole processes, (a) the read job, (b) the write job
    "proc_read_ms": ("proc_a", "(a) мс", "ms"),
    "proc_read_peak_rss": ("proc_a", "(a) пик RSS, КиБ", "KiB"),
    "proc_read_nonfile_rss": ("proc_a", "(a) пик без файлов, КиБ", "KiB"),
    "proc_write_ms": ("proc_b", "(b) мс", "ms"),
    "proc_write_peak_rss": ("proc_b", "(b) пик RSS, КиБ", "KiB"),
    "proc_write_nonfile_rss": ("proc_b", "(b) пик без файлов, КиБ", "KiB"),
    "proc_write_io_written": ("proc_b", "(b) записано ядром, КиБ", "KiB"),
    "proc_write_written_primary": ("proc_b", "(b) отчёт: куст, КиБ", "KiB"),
    "proc_write_written_log": ("proc_b", "(b) отчёт: журнал, КиБ", "KiB"),
    "cmp_read_speedup": ("compare", "(a) быстрее hivex, раз", "x"),
    "cmp_write_speedup": ("compare", "(b) быстрее hivex, раз", "x"),
    "cmp_write_share": ("compare", "(b) записано, доля от hivex, %", "%"),
}
SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
TITLES = {
    "cold": "Поиск параметров lookups.tsv после вытеснения куста из кэша страниц",
    "warm": "Тёплый кэш (Google Benchmark): время одного прогона, медиана повторов",
    "proc_a": "(a) Целые процессы: открытие, десять поисков, закрытие; куст вытеснен из кэша "
              "страниц, sync в конце; медианы прогонов",
    "proc_b": "(b) Целые процессы: то же, три параметра изменены и записаны в файл; свежая копия "
              "куста, вытесненная из кэша, sync в конце; медианы прогонов",
    "compare": "Наш движок против libhivex: отношение медиан (больше 1 — мы быстрее)",
    "other": "Прочие замеры",
}
# Columns that only complete others and are not worth a table of their own.
HIDDEN = {"cold_resident_pages", "proc_read_file_rss", "proc_read_anon_rss",
          "proc_write_file_rss", "proc_write_anon_rss"}
# The tool of the rows that compare our engine with hivex.
VERSUS = "hivex÷morvalin"


def add_derived(figures):
    """Figures made from others: the cold share, the peak resident set
    without the pages of files (the hive's mapping among them), and for each
    hive both tools timed the ratios of hivex's figures to ours."""
    for f in list(figures.values()):
        if "cold_cached_pages" in f and "file_pages" in f:
            f["cold_share"] = (100.0 * f["cold_cached_pages"][0] / f["file_pages"][0], "%")
        for job in ("read", "write"):
            peak, files = f.get(f"proc_{job}_peak_rss"), f.get(f"proc_{job}_file_rss")
            if peak and files:
                f[f"proc_{job}_nonfile_rss"] = (peak[0] - files[0], "KiB")
    for hive in sorted({hive for _, hive in figures}):
        ours, theirs = figures.get(("morvalin", hive), {}), figures.get(("hivex", hive), {})
        versus = {}
        for job in ("read", "write"):
            measure = f"proc_{job}_ms"
            if measure in ours and measure in theirs and ours[measure][0] > 0:
                versus[f"cmp_{job}_speedup"] = (theirs[measure][0] / ours[measure][0], "x")
        written = "proc_write_io_written"
        if written in ours and written in theirs and theirs[written][0] > 0:
            versus["cmp_write_share"] = (100.0 * ours[written][0] / theirs[written][0], "%")
        if versus:
            figures[(VERSUS, hive)] = versus


def read_tsv(path, figures):
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.reader(f, delimiter="\t"):
            if not row or row[0].startswith("#"):
                continue
            tool, hive, measure, value, unit = row
            figures[(tool, hive)][measure] = (float(value), unit)


def read_benchmark_json(path, figures):
    name = os.path.basename(path)
    tool = name.split("-", 1)[0] if "-" in name else "morvalin"
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    for b in report.get("benchmarks", []):
        measure, _, hive = b.get("run_name", b["name"]).partition("/")
        if b.get("error_occurred"):
            print(f"{b['name']}: ошибка: {b.get('error_message')}", file=sys.stderr)
            continue
        # With --benchmark_repetitions the median, which follows the runs,
        # stands for them.
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        figures[(tool, hive)][measure] = (b["real_time"], b["time_unit"])


def size_key(hive):
    numbers = re.findall(r"\d+", hive)
    return (int(numbers[0]) if numbers else 0, hive)


def number(value):
    if value == int(value) and abs(value) >= 1:
        return str(int(value))
    if abs(value) >= 100:
        return f"{value:.0f}"
    if abs(value) >= 1:
        return f"{value:.1f}"
    return f"{value:.3f}"


def cell(figure, measure):
    """The figure in its column's unit (times are converted), as text."""
    if figure is None:
        return "—"
    value, unit = figure
    wanted = KNOWN.get(measure, (None, None, unit))[2]
    if unit != wanted:
        if unit not in SECONDS or wanted not in SECONDS:
            return f"{number(value)} {unit}"
        value = value * SECONDS[unit] / SECONDS[wanted]
    return number(value)


def print_table(title, columns, rows):
    header = ["инструмент", "куст"] + [heading for _, heading in columns]
    body = [[tool, hive] + [cell(f.get(m), m) for m, _ in columns] for (tool, hive), f in rows]
    widths = [max(len(r[i]) for r in [header] + body) for i in range(len(header))]
    print(title)
    for r in [header] + body:
        print("  ".join(c.ljust(w) if i < 2 else c.rjust(w)
                        for i, (c, w) in enumerate(zip(r, widths))))
    print()


def main():
    figures = defaultdict(dict)
    for path in sys.argv[1:]:
        if path.endswith(".json"):
            read_benchmark_json(path, figures)
        else:
            read_tsv(path, figures)
    add_derived(figures)
    measures = []
    for f in figures.values():
        measures.extend(m for m in f if m not in measures and m not in HIDDEN)
    rows = sorted(figures.items(), key=lambda item: (size_key(item[0][1]), item[0][0]))
    for table in ("cold", "warm", "proc_a", "proc_b", "compare", "other"):
        columns = [(m, KNOWN[m][1]) for m in KNOWN if KNOWN[m][0] == table and m in measures]
        if table == "other":
            columns = [(m, m) for m in measures if m not in KNOWN]
        chosen = [(key, f) for key, f in rows if any(m in f for m, _ in columns)]
        if columns and chosen:
            print_table(TITLES[table], columns, chosen)


if __name__ == "__main__":
    main()
