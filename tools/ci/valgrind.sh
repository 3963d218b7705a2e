#!/usr/bin/env bash
# Runs every test executable of a build under valgrind memcheck: any memory error, or a
# definite or indirect leak, fails the run. Modules that are loaded for good stay reachable
# and are not counted. Usage: tools/ci/valgrind.sh [BUILD_DIR] (default build/default).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build/default}" && pwd)"
bin="$build/tests/bin"
logs="$build/valgrind"
mkdir -p "$logs"
passed=0
failed=0
export AIRVANE_TEST_SOURCE_DIR="$root"
for exe in "$bin"/*; do
    [[ -f $exe && -x $exe && $exe != *.dll ]] || continue
    name="$(basename "$exe")"
    if (cd "$bin" && valgrind --quiet --error-exitcode=99 --leak-check=full \
            --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
            --child-silent-after-fork=no "$exe" --gtest_brief=1 >"$logs/$name.log" 2>&1); then
        echo "valgrind: $name ok"
        passed=$((passed + 1))
    else
        echo "valgrind: $name FAILED (see $logs/$name.log)"
        tail -30 "$logs/$name.log"
        failed=$((failed + 1))
    fi
done
echo "valgrind: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
