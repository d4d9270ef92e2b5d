// Runs inside VS Code's extension host (loaded through the `payload` URL parameter). In a
// folder with faulty.tcl: opens it, waits for the server's diagnostic and its likely-line mark,
// applies the quick fix and waits for no problems, then sees a project file written beside a
// script take its finding away. In a folder with clean.tcl it expects a
// problem there, and so must fail: the runner sees that a failing test fails.
import * as assert from 'assert';
import * as fs from 'fs';
import * as path from 'path';
import * as vscode from 'vscode';

async function until<T>(what: string, get: () => T | undefined, ms = 20000): Promise<T> {
  const end = Date.now() + ms;
  for (;;) {
    const v = get();
    if (v !== undefined) return v;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

function ours(uri: vscode.Uri): vscode.Diagnostic[] {
  return vscode.languages.getDiagnostics(uri).filter((d) => d.source === 'delimcheck');
}

async function mendsTheFaultyScript(file: string): Promise<void> {
  const doc = await vscode.workspace.openTextDocument(vscode.Uri.file(file));
  assert.strictEqual(doc.languageId, 'tcl', 'the tcl language for .tcl files');
  await vscode.window.showTextDocument(doc);
  // The searched publication: the report and the likely line, where the repair goes.
  const [report, likely] = await until('the report and its likely line', () => {
    const ds = ours(doc.uri);
    const r = ds.find((d) => d.severity === vscode.DiagnosticSeverity.Error);
    const l = ds.find((d) => d.severity === vscode.DiagnosticSeverity.Information &&
      d.message.includes('one edit here'));
    return r && l ? [r, l] : undefined;
  });
  const actions = await vscode.commands.executeCommand<vscode.CodeAction[]>(
    'vscode.executeCodeActionProvider', doc.uri, likely.range, vscode.CodeActionKind.QuickFix.value);
  const fix = (actions ?? []).find((a) => a.kind?.value === 'quickfix' && a.edit);
  assert.ok(fix && fix.edit, `a quick fix on the likely line (${report.message})`);
  assert.ok(await vscode.workspace.applyEdit(fix.edit), 'the edit applies');
  await until('no problems', () => (ours(doc.uri).length === 0 ? true : undefined));
  await doc.save();
}

// A finding the project file ignores goes from the open script once the file is written.
async function followsTheProjectFile(folder: string): Promise<void> {
  const file = path.join(folder, 'stray.tcl');
  fs.writeFileSync(file, 'set a "x"y\n');
  const doc = await vscode.workspace.openTextDocument(vscode.Uri.file(file));
  await vscode.window.showTextDocument(doc);
  await until('the stray characters after the string', () => (ours(doc.uri).length > 0 ? true : undefined));
  fs.writeFileSync(path.join(folder, 'delimcheck.toml'), 'ignore = ["extra-after-string"]\n');
  await until('no problems once the project file ignores them', () => (ours(doc.uri).length === 0 ? true : undefined));
}

async function aCleanScriptHasAProblem(file: string): Promise<void> {
  const doc = await vscode.workspace.openTextDocument(vscode.Uri.file(file));
  await vscode.window.showTextDocument(doc);
  await until('a problem that a clean script never has', () => (ours(doc.uri).length > 0 ? true : undefined), 5000);
}

export async function run(): Promise<void> {
  const folder = vscode.workspace.workspaceFolders?.[0]?.uri.fsPath;
  assert.ok(folder, 'a folder is open');
  const ext = vscode.extensions.all.find((e) => e.packageJSON?.name === 'delimcheck');
  assert.ok(ext, 'the extension is loaded');
  await ext.activate();
  const faulty = path.join(folder, 'faulty.tcl');
  if (fs.existsSync(faulty)) {
    await mendsTheFaultyScript(faulty);
    await followsTheProjectFile(folder);
  } else await aCleanScriptHasAProblem(path.join(folder, 'clean.tcl'));
}
