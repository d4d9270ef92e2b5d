#!/bin/sh
# Runs the README's Vim recipe as it stands: `:make` on a file, with delimcheck on PATH, and
# checks that the quickfix list names the right file, line and column for every report.
# Usage: vim_quickfix.sh DELIMCHECK SOURCE_DIR
set -eu
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grep -m1 '^set makeprg=' "$src/README.md" > "$work/recipe.vim"
mkdir "$work/bin"
ln -s "$bin" "$work/bin/delimcheck"
cp "$src/examples/sample.tcl" "$work/sample.tcl"
cd "$work"
# In ex mode the default 'shellpipe' would hand the errors over twice.
PATH="$work/bin:$PATH" vim -es -Nu NONE -c 'set shellpipe=>' -S recipe.vim -c 'edit sample.tcl' -c 'silent make' \
  -c 'call writefile(map(filter(getqflist(), "v:val.valid"), "bufname(v:val.bufnr) . \":\" . v:val.lnum . \":\" . v:val.col . \":\" . v:val.text"), "qf.txt")' \
  -c 'qa!'
cat > expected.txt <<'END'
sample.tcl:6:7: error: Expecting ] got } (balancing {})
sample.tcl:5:17: note: [ opened here, discarded
sample.tcl:7:34: warning: Extra characters after string
sample.tcl:10:11: error: " missing, opened on line 10 char 6
sample.tcl:10:6: note: " opened here, never closed
END
if ! diff -u expected.txt qf.txt; then
  echo "delimcheck output was:"; "$bin" --format=gcc sample.tcl
  exit 1
fi
