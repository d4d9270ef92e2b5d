;;; emacs-eglot.el --- Emacs with eglot as a client of `delimcheck --lsp', in batch mode  -*- lexical-binding: t -*-
;; Opens a script with reports, waits for their second publication and writes out as JSON
;; the diagnostics that Flymake shows.
;; Environment: DELIMCHECK (the binary), SCRIPT (the file), OUT (the JSON file).

(require 'eglot)
(require 'json)

(let* ((bin (getenv "DELIMCHECK"))
       (script (getenv "SCRIPT"))
       (out (getenv "OUT"))
       (deadline (+ (float-time) 30))
       (published 0))
  ;; The README's setup, its settings included.
  (add-to-list 'eglot-server-programs `(tcl-mode . (,bin "--lsp")))
  (setq-default eglot-workspace-configuration '((:delimcheck . (:warnBackslashBlank t))))
  (find-file script)
  (tcl-mode)
  ;; A directory without version control is a project of its own.
  (let ((project-find-functions (list (lambda (dir) (cons 'transient dir)))))
    (eglot-ensure)
    (run-hooks 'post-command-hook))
  ;; A script with reports is published twice: at once, then with the edit that mends it.
  (advice-add 'eglot-handle-notification :after
              (lambda (_server method &rest _)
                (when (eq method 'textDocument/publishDiagnostics)
                  (setq published (1+ published)))))
  (while (and (or (< published 2) (null (flymake-diagnostics))) (< (float-time) deadline))
    (accept-process-output nil 0.05))
  ;; Flymake takes what eglot holds when its own check runs, on an idle timer that Emacs in
  ;; batch mode never reaches again: run it once more for the second publication.
  (flymake-start)
  ;; What it shows is taken once it no longer changes from one look to the next.
  (let ((shown (lambda () (mapcar (lambda (d) (cons (flymake-diagnostic-beg d) (flymake-diagnostic-text d)))
                                  (flymake-diagnostics))))
        (seen 'none))
    (while (and (not (equal seen (funcall shown))) (< (float-time) deadline))
      (setq seen (funcall shown))
      (accept-process-output nil 0.1)))
  (let ((diagnostics
         (mapcar
          (lambda (d)
            (let* ((beg (flymake-diagnostic-beg d))
                   (text (flymake-diagnostic-text d))
                   (lsp-diag (alist-get 'eglot-lsp-diag (flymake-diagnostic-data d)))
                   (bol (save-excursion (goto-char beg) (line-beginning-position))))
              ;; Flymake's text is "SOURCE [CODE]: MESSAGE".
              (string-match "\\`delimcheck \\[\\([^]]*\\)\\]: \\(\\(?:.\\|\n\\)*\\)\\'" text)
              `((line . ,(line-number-at-pos beg))
                (column . ,(1+ (string-bytes (buffer-substring-no-properties bol beg))))
                (severity . ,(plist-get lsp-diag :severity))
                (code . ,(match-string 1 text))
                (message . ,(match-string 2 text)))))
          (flymake-diagnostics))))
    (with-temp-file out
      (insert (json-encode `((diagnostics . ,(vconcat diagnostics)) (actions . [])))))
    (kill-emacs (if diagnostics 0 1))))
