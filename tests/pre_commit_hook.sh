#!/bin/sh
# The repository's pre-commit hook, run by the real pre-commit on a small git repository of its
# own: a clean script passes, a broken one fails with its diagnostic shown. Nothing is fetched:
# the hook runs the delimcheck found on PATH, and pre-commit takes the hook from this tree, and
# then from the README's .pre-commit-config.yaml as it is printed there.
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

# The README's configuration: the first yaml block after its pre-commit heading.
sed -n '/^## In a pre-commit hook/,/^## /p' "$src/README.md" |
  sed -n '/^```yaml$/,/^```$/p' | sed '1d;/^```$/,$d' > "$work/readme-config.yaml"
grep -q 'id: delimcheck' "$work/readme-config.yaml" || { echo "no configuration in the README"; exit 1; }

cd "$work/repo"
git init -q
printf 'proc ok {a} {\n    return [list $a]\n}\n' > ok.tcl
printf 'readme {\n' > notes.txt
git add ok.tcl notes.txt

# Runs the hook both ways: from the hook file, and with the README's configuration.
hook() {
  pre-commit try-repo "$work/hooks" delimcheck --all-files > "$1.try.log" 2>&1 || return 1
}
readme_hook() {
  cp "$work/readme-config.yaml" .pre-commit-config.yaml
  git add .pre-commit-config.yaml
  pre-commit run --all-files > "$1.readme.log" 2>&1
  status=$?
  git rm -q --cached .pre-commit-config.yaml && rm .pre-commit-config.yaml
  return $status
}

for way in hook readme_hook; do
  if ! $way pass; then
    echo "a clean script failed the hook ($way):"; cat pass.*.log
    exit 1
  fi
done

printf 'proc bad {a} {\n    if {$a} {\n        return [list $a\n    }\n}\n' > bad.tcl
git add bad.tcl
for way in hook readme_hook; do
  if $way fail; then
    echo "a broken script passed the hook ($way):"; cat fail.*.log
    exit 1
  fi
done
for log in fail.try.log fail.readme.log; do
  grep -q '^bad.tcl:4:5: error: Expecting ] got } (balancing {})$' "$log" || {
    echo "the diagnostic was not shown:"; cat "$log"
    exit 1
  }
  if grep -q 'notes.txt\|ok.tcl:' "$log"; then
    echo "the hook looked at files it should not:"; cat "$log"
    exit 1
  fi
done
