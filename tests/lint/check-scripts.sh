#!/bin/sh
# Checks every shell script of the project with shellcheck, and that the CI
# workflows parse and give each job a runner and steps:
#   check-scripts.sh SOURCE_DIR
set -eu
source=${1:?usage: check-scripts.sh SOURCE_DIR}
cd "$source"

scripts=$(find .ci rig tests tools -type f \( -name '*.sh' -o -path .ci/run \) | sort)
# shellcheck disable=SC2086  # one word a path
shellcheck -x $scripts
echo "shellcheck: $(echo "$scripts" | wc -l) scripts clean"

python3 - .github/workflows/*.yml <<'PYTHON'
import sys
import yaml

for path in sys.argv[1:]:
    with open(path) as stream:
        workflow = yaml.safe_load(stream)
    # YAML 1.1 reads the key "on" as true.
    triggers = workflow.get("on", workflow.get(True))
    jobs = workflow.get("jobs") or {}
    problems = [] if triggers and jobs else ["no triggers or no jobs"]
    for name, job in jobs.items():
        if not job.get("runs-on") or not job.get("steps"):
            problems.append(f"job {name} has no runner or no steps")
    if problems:
        sys.exit(f"{path}: " + "; ".join(problems))
    print(f"{path}: parses, jobs {', '.join(jobs)}")
PYTHON
