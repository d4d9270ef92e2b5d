#!/bin/sh
# The repository's pre-commit hook, run by the real pre-commit on a small git repository of its
# own: a clean script passes, a broken one fails with its diagnostic shown. Nothing is fetched:
# the hook runs the delimcheck found on PATH, and pre-commit takes the hook from this tree.
# Usage: pre_commit_hook.sh DELIMCHECK SOURCE_DIR
set -eu
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/repo" "$work/hooks"
ln -s "$bin" "$work/bin/delimcheck"
export PATH="$work/bin:$PATH" PRE_COMMIT_HOME="$work/cache" HOME="$work" GIT_CONFIG_NOSYSTEM=1
# pre-commit takes hooks from a git repository: a copy of the hook file, committed.
cp "$src/.pre-commit-hooks.yaml" "$work/hooks/"
git -C "$work/hooks" init -q
git -C "$work/hooks" -c user.name=t -c user.email=t@t add .pre-commit-hooks.yaml
git -C "$work/hooks" -c user.name=t -c user.email=t@t commit -qm hooks

cd "$work/repo"
git init -q
printf 'proc ok {a} {\n    return [list $a]\n}\n' > ok.tcl
printf 'readme {\n' > notes.txt
git add ok.tcl notes.txt
if ! pre-commit try-repo "$work/hooks" delimcheck --all-files > pass.log 2>&1; then
  echo "a clean script failed the hook:"; cat pass.log
  exit 1
fi

printf 'proc bad {a} {\n    if {$a} {\n        return [list $a\n    }\n}\n' > bad.tcl
git add bad.tcl
if pre-commit try-repo "$work/hooks" delimcheck --all-files > fail.log 2>&1; then
  echo "a broken script passed the hook:"; cat fail.log
  exit 1
fi
grep -q '^bad.tcl:4:5: error: Expecting ] got } (balancing {})$' fail.log || {
  echo "the diagnostic was not shown:"; cat fail.log
  exit 1
}
if grep -q 'notes.txt\|ok.tcl:' fail.log; then
  echo "the hook looked at files it should not:"; cat fail.log
  exit 1
fi
