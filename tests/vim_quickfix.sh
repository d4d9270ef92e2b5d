#!/bin/sh
# Runs the README's Vim errorformat on real delimcheck output and checks that the quickfix
# list names the right file, line and column for every report.
# Usage: vim_quickfix.sh DELIMCHECK SOURCE_DIR
set -eu
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grep -m1 '^set errorformat=' "$src/README.md" > "$work/efm.vim"
cp "$src/examples/sample.tcl" "$work/sample.tcl"
printf 'proc p {} {\n    set a "b ]" \\ \n    }\n}\n' > "$work/second.tcl"
cd "$work"
"$bin" -e sample.tcl missing.tcl second.tcl > out.txt
vim -es -Nu NONE -S efm.vim -c 'cgetfile out.txt' \
  -c 'call writefile(map(filter(getqflist(), "v:val.valid"), "bufname(v:val.bufnr) . \":\" . v:val.lnum . \":\" . v:val.col . \": \" . v:val.text"), "qf.txt")' \
  -c 'qa!'
cat > expected.txt <<'END'
sample.tcl:6:7: Expecting ] got }
sample.tcl:7:34: Extra characters after string
sample.tcl:10:6: " missing, opened
second.tcl:2:14: Inside a string: unmatched ]
second.tcl:2:0: \ followed by blank space
second.tcl:4:1: Unmatching }
END
if ! diff -u expected.txt qf.txt; then
  echo "delimcheck output was:"; cat out.txt
  exit 1
fi
