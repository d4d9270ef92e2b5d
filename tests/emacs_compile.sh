#!/bin/sh
# Emacs reads delimcheck's compiler format: the README's recipe, `M-x compile` with delimcheck
# on PATH, run in batch mode; `next-error` must visit every diagnostic, notes included, at the
# right file, line and column, and as the right kind.
# Usage: emacs_compile.sh DELIMCHECK SOURCE_DIR
set -eu
bin=$1 src=$2
. "$(dirname "$0")/editor_work.sh"
cat > visit.el <<'END'
(require 'compile)
(setq compilation-skip-threshold 0) ; stop at notes too, not only at errors and warnings
(let ((buffer (compile "delimcheck --format=gcc -e sample.tcl missing.tcl second.tcl"))
      (visited nil))
  (while (get-buffer-process buffer)
    (accept-process-output (get-buffer-process buffer) 0.1))
  (with-current-buffer buffer
    (compilation--ensure-parse (point-max))
    (goto-char (point-min))
    (condition-case nil
        (while t
          (compilation-next-error 1)
          (let* ((message (get-text-property (point) 'compilation-message))
                 (loc (compilation--message->loc message)))
            (push (format "%s:%d:%d: %s"
                          (caar (compilation--loc->file-struct loc))
                          (compilation--loc->line loc)
                          (compilation--loc->col loc)
                          (aref ["note" "warning" "error"] (compilation--message->type message)))
                  visited)))
      (error nil)))
  (with-temp-file "visited.txt"
    (dolist (line (nreverse visited))
      (insert line "\n"))))
END
PATH="$work/bin:$PATH" emacs --batch -Q -l visit.el > emacs.log 2>&1 || { cat emacs.log; exit 1; }
# next-error passes over a message at the place of the message before it.
cat > expected.txt <<'END'
sample.tcl:6:7: error
sample.tcl:5:34: note
sample.tcl:5:17: note
sample.tcl:5:34: note
sample.tcl:7:34: warning
sample.tcl:10:11: error
sample.tcl:10:6: note
sample.tcl:10:11: note
missing.tcl:1:1: error
second.tcl:2:14: error
second.tcl:2:11: note
second.tcl:2:14: note
second.tcl:2:17: warning
second.tcl:4:1: error
second.tcl:3:1: note
END
if ! diff -u expected.txt visited.txt; then
  echo "delimcheck output was:"; "$bin" --format=gcc -e sample.tcl missing.tcl second.tcl
  exit 1
fi
