#!/bin/sh
# Vim's default errorformat, with no configuration at all, reads the compiler format: every
# error, warning and note lands on its file, line and column.
# Usage: vim_gcc_format.sh DELIMCHECK SOURCE_DIR
set -eu
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src/examples/sample.tcl" "$work/sample.tcl"
printf 'proc p {} {\n    set a "b ]" \\ \n    }\n}\n' > "$work/second.tcl"
cd "$work"
"$bin" --format=gcc -e sample.tcl missing.tcl second.tcl > out.txt || true
vim -es -Nu NONE -c 'cgetfile out.txt' \
  -c 'call writefile(map(filter(getqflist(), "v:val.valid"), "bufname(v:val.bufnr) . \":\" . v:val.lnum . \":\" . v:val.col . \":\" . v:val.text"), "qf.txt")' \
  -c 'qa!'
cat > expected.txt <<'END'
sample.tcl:6:7: error: Expecting ] got } (balancing {})
sample.tcl:5:17: note: [ opened here, discarded
sample.tcl:7:34: warning: Extra characters after string
sample.tcl:10:11: error: " missing, opened on line 10 char 6
sample.tcl:10:6: note: " opened here, never closed
missing.tcl:1:1: error: Cannot be accessed: No such file or directory
second.tcl:2:14: error: Inside a string: unmatched ]
second.tcl:2:11: note: " opened here
second.tcl:2:17: warning: \ followed by blank space at the end of the line
second.tcl:4:1: error: Unmatching }
second.tcl:3:5: note: likely fault: this closer stands at another indentation than the line of the { on line 1 it closes
END
if ! diff -u expected.txt qf.txt; then
  echo "delimcheck output was:"; cat out.txt
  exit 1
fi
