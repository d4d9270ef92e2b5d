#!/bin/sh
# Vim reads delimcheck's compiler format: the quickfix list must name the right file, line and
# column for every diagnostic.
#   readme:  the README's recipe as it stands, `:make` on a file with delimcheck on PATH;
#   default: Vim's default errorformat, with no configuration, on the output of a run.
# Usage: vim_quickfix.sh readme|default DELIMCHECK SOURCE_DIR
set -eu
mode=$1 bin=$2 src=$3
. "$(dirname "$0")/editor_work.sh"
list='call writefile(map(filter(getqflist(), "v:val.valid"), "bufname(v:val.bufnr) . \":\" . v:val.lnum . \":\" . v:val.col . \":\" . v:val.text"), "qf.txt")'
if [ "$mode" = readme ]; then
  grep -m1 '^set makeprg=' "$src/README.md" > recipe.vim
  # In ex mode the default 'shellpipe' would hand the errors over twice.
  PATH="$work/bin:$PATH" vim -es -Nu NONE -c 'set shellpipe=>' -S recipe.vim -c 'edit sample.tcl' \
    -c 'silent make' -c "$list" -c 'qa!'
else
  "$bin" --format=gcc -e sample.tcl missing.tcl second.tcl > out.txt || true
  vim -es -Nu NONE -c 'cgetfile out.txt' -c "$list" -c 'qa!'
fi
cat > expected.txt <<'END'
sample.tcl:6:7: error: Expecting ] got } (balancing {})
sample.tcl:5:34: note: likely fault: one edit here mends this fault and leaves the others as they are
sample.tcl:5:17: note: [ opened here, discarded
sample.tcl:5:34: note: insert ] at line 5 char 34
sample.tcl:7:34: warning: Extra characters after string
sample.tcl:10:11: error: " missing, opened on line 10 char 6
sample.tcl:10:11: note: likely fault: one edit here mends this fault and leaves the others as they are
sample.tcl:10:6: note: " opened here, never closed
sample.tcl:10:11: note: insert " at line 10 char 11
END
if [ "$mode" = default ]; then
  cat >> expected.txt <<'END'
missing.tcl:1:1: error: Cannot be accessed: No such file or directory
second.tcl:2:14: error: Inside a string: unmatched ]
second.tcl:2:14: note: likely fault: one edit here mends this fault and leaves the others as they are
second.tcl:2:11: note: " opened here
second.tcl:2:14: note: delete the ] at line 2 char 14
second.tcl:2:17: warning: \ followed by blank space at the end of the line
second.tcl:4:1: error: Unmatching }
second.tcl:3:1: note: likely fault: one edit here mends this fault and leaves the others as they are
second.tcl:3:1: note: delete line 3
END
fi
if ! diff -u expected.txt qf.txt; then
  echo "delimcheck output was:"; "$bin" --format=gcc -e sample.tcl missing.tcl second.tcl
  exit 1
fi
