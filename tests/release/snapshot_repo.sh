#!/usr/bin/env bash
# A throw-away repository of one commit holding the working tree's files, so
# that uncommitted scripts and sources are what the release test releases:
#   snapshot_repo.sh SOURCE_DIR REPO_DIR
set -euo pipefail

source_dir=${1:?usage: snapshot_repo.sh SOURCE_DIR REPO_DIR}
repo=${2:?usage: snapshot_repo.sh SOURCE_DIR REPO_DIR}
mkdir "$repo"
git -C "$source_dir" ls-files -co --exclude-standard -z |
  while IFS= read -r -d '' file; do
    # Files deleted but not yet staged are still listed; dist/ is where
    # releases land by default, not source.
    case $file in dist/*) continue ;; esac
    if [ -e "$source_dir/$file" ] || [ -L "$source_dir/$file" ]; then printf '%s\0' "$file"; fi
  done |
  tar -C "$source_dir" --null -T - -cf - | tar -C "$repo" -xf -
export GIT_AUTHOR_NAME='Release Test' GIT_AUTHOR_EMAIL=release-test@example.invalid \
  GIT_COMMITTER_NAME='Release Test' GIT_COMMITTER_EMAIL=release-test@example.invalid \
  GIT_AUTHOR_DATE='2000-01-01T00:00:00Z' GIT_COMMITTER_DATE='2000-01-01T00:00:00Z'
in_repo_git() { git -C "$repo" -c commit.gpgsign=false -c core.hooksPath=/dev/null -c init.defaultBranch=main "$@"; }
in_repo_git init -q
in_repo_git add -A
in_repo_git commit -q -m 'Snapshot of the working tree for the release test'
