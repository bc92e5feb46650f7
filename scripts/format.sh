#!/usr/bin/env bash
# Formats the sources with the root .clang-format; --check only reports.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format --dry-run --Werror "${files[@]}"
    echo "Форматирование в порядке (${#files[@]} файлов)"
else
    clang-format -i "${files[@]}"
fi
