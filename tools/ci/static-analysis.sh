#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the library, the plug-ins, the tools and the tests, and
# cppcheck over all but the tests; any finding fails. Needs a configured build with compile_commands.json.
# Usage: tools/ci/static-analysis.sh [BUILD_DIR] (default build/default).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build/default}"
cd "$root"
mapfile -t sources < <(git ls-files 'airvane/*.cpp' 'plugins/*.cpp' 'tools/*.cpp' 'tests/*.cpp')
# Only what this build compiles: the other platform's backend has no compile command here.
mapfile -t sources < <(for file in "${sources[@]}"; do
    grep -qF "\"$root/$file\"" "$build/compile_commands.json" && echo "$file"
done)

echo "clang-tidy: ${#sources[@]} files"
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet

echo "cppcheck"
cppcheck --quiet --enable=warning,performance,portability --std=c++17 --inline-suppr --error-exitcode=1 \
    -I . airvane plugins tools
echo "static analysis: clean"
