;;; emacs-eglot.el --- Emacs with eglot as a client of `delimcheck --lsp', in batch mode  -*- lexical-binding: t -*-
;; Opens a script with reports, waits for their second publication and writes out as JSON
;; the diagnostics that Flymake shows. With PROJECT_CHANGE, once eglot watches the project
;; files at the server's request, copies that file over the delimcheck.toml beside the script
;; and writes out, as `changed', what Flymake shows then, the script never opened again.
;; Environment: DELIMCHECK (the binary), SCRIPT (the file), OUT (the JSON file), PROJECT_CHANGE.

(require 'eglot)
(require 'json)

(defun eglot-test--shown (deadline)
  "The diagnostics Flymake shows in the current buffer, once they stand still."
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
   (flymake-diagnostics)))

(let* ((bin (getenv "DELIMCHECK"))
       (script (getenv "SCRIPT"))
       (out (getenv "OUT"))
       (change (getenv "PROJECT_CHANGE"))
       (deadline (+ (float-time) 30))
       (published 0)
       (last-published 0.0)
       (last-empty nil))
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
              (lambda (_server method &rest params)
                (when (eq method 'textDocument/publishDiagnostics)
                  (setq published (1+ published)
                        last-published (float-time)
                        last-empty (zerop (length (plist-get params :diagnostics)))))))
  (while (and (or (< published 2) (null (flymake-diagnostics))) (< (float-time) deadline))
    (accept-process-output nil 0.05))
  (let* ((diagnostics (eglot-test--shown deadline))
         (changed
          (when change
            (let ((server (eglot-current-server))
                  (before published))
              ;; The watchers are set once eglot has taken the server's request.
              (while (and (zerop (hash-table-count (eglot--file-watches server))) (< (float-time) deadline))
                (accept-process-output nil 0.05))
              (copy-file change (expand-file-name "delimcheck.toml" (file-name-directory script)) t)
              ;; File notifications are events, which batch mode reads only here. A publication
              ;; with reports is followed by the one with the search; then nothing for a while.
              (while (and (or (<= published before)
                              (and (not last-empty) (< published (+ before 2)))
                              (< (float-time) (+ last-published 0.3)))
                          (< (float-time) deadline))
                (read-event nil nil 0.05))
              (eglot-test--shown deadline)))))
    (with-temp-file out
      (insert (json-encode `((diagnostics . ,(vconcat diagnostics)) (changed . ,(vconcat changed))
                             (actions . [])))))
    (kill-emacs (if diagnostics 0 1))))
