#!/usr/bin/env bash
# Prints the size of the test suite against the code it tests: non-blank lines
# of every text file under tests/ against those under src/, host/ and include/,
# and their ratio, e.g. "tests 7049 / code 8354 = 0.84".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Non-blank lines of the text files under the given directories of the tree
# (grep reports failure for a batch without any, which is not an error here).
count() {
  { (cd "$root" && find "$@" -type f -print0 | xargs -0 -r grep -hIv '^[[:space:]]*$') || true; } | wc -l
}

tests=$(count tests)
code=$(count src host include)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d / code %d = %.2f\n", t, c, c ? t / c : 0 }'
