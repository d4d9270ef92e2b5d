// Starts `delimcheck --lsp` for Tcl files and gives VS Code its diagnostics, quick fixes and the
// source action that applies the safe repairs.
import * as fs from 'fs';
import * as path from 'path';
import * as vscode from 'vscode';
import {
  CloseAction,
  ErrorAction,
  LanguageClient,
  LanguageClientOptions,
  ServerOptions,
  TransportKind,
} from 'vscode-languageclient/node';

const FIX_ALL_KIND = vscode.CodeActionKind.SourceFixAll.append('delimcheck');

let client: LanguageClient | undefined;
let output: vscode.OutputChannel | undefined;
let toldMissing = false;

// The program named by `delimcheck.path`, or the first `delimcheck` on PATH; undefined when
// neither is an executable file.
export function findServer(setting: string, envPath: string | undefined): string | undefined {
  const executable = (p: string) => {
    try {
      fs.accessSync(p, fs.constants.X_OK);
      return fs.statSync(p).isFile();
    } catch {
      return false;
    }
  };
  if (setting) {
    const expanded = setting.startsWith('~/') ? path.join(process.env.HOME ?? '', setting.slice(2)) : setting;
    return executable(expanded) ? expanded : undefined;
  }
  for (const dir of (envPath ?? '').split(path.delimiter)) {
    if (dir && executable(path.join(dir, 'delimcheck'))) return path.join(dir, 'delimcheck');
  }
  return undefined;
}

// The server's settings: those of the `delimcheck` section it knows, as it reads them.
function serverSettings(): Record<string, boolean> {
  const config = vscode.workspace.getConfiguration('delimcheck');
  const settings: Record<string, boolean> = {};
  for (const name of ['hashLines', 'warnBackslashBlank', 'balancing', 'reportInString', 'anyQuoteOpens']) {
    const value = config.get<boolean>(name);
    if (typeof value === 'boolean') settings[name] = value;
  }
  return settings;
}

async function start(context: vscode.ExtensionContext): Promise<void> {
  const setting = vscode.workspace.getConfiguration('delimcheck').get<string>('path') ?? '';
  const command = findServer(setting, process.env.PATH);
  if (!command) {
    if (!toldMissing) {
      toldMissing = true;
      const where = setting ? `"${setting}" (delimcheck.path)` : 'PATH';
      const choice = await vscode.window.showErrorMessage(
        `delimcheck: no delimcheck program found in ${where}. Install it, or set delimcheck.path.`,
        'Install instructions');
      // The instructions travel with the extension, in its README.
      if (choice) {
        void vscode.commands.executeCommand('markdown.showPreview',
          vscode.Uri.joinPath(context.extensionUri, 'README.md'));
      }
    }
    return;
  }
  output = output ?? vscode.window.createOutputChannel('delimcheck');
  // TransportKind.stdio adds --stdio, which the server takes for --lsp.
  const serverOptions: ServerOptions = { command, args: ['--lsp'], transport: TransportKind.stdio };
  const projectFiles = vscode.workspace.createFileSystemWatcher('**/{delimcheck.toml,.delimcheck.toml}');
  context.subscriptions.push(projectFiles);
  const clientOptions: LanguageClientOptions = {
    documentSelector: [{ language: 'tcl' }],
    initializationOptions: { delimcheck: serverSettings() },
    // The server rereads project files when told they changed, and checks open scripts again.
    synchronize: { fileEvents: projectFiles },
    outputChannel: output,
    errorHandler: {
      error: () => ({ action: ErrorAction.Continue }),
      closed: () => ({ action: CloseAction.DoNotRestart, message: 'delimcheck: the server stopped; see its output' }),
    },
  };
  client = new LanguageClient('delimcheck', 'delimcheck', serverOptions, clientOptions);
  await client.start();
  context.subscriptions.push(
    vscode.workspace.onDidChangeConfiguration(async (e) => {
      if (!client) return;
      if (e.affectsConfiguration('delimcheck.path')) {
        await restart(context);
      } else if (e.affectsConfiguration('delimcheck')) {
        // The server's settings are whole each time: all of them, each change.
        await client.sendNotification('workspace/didChangeConfiguration', { settings: { delimcheck: serverSettings() } });
      }
    }));
}

async function restart(context: vscode.ExtensionContext): Promise<void> {
  const old = client;
  client = undefined;
  if (old) await old.stop();
  toldMissing = false;
  await start(context);
}

// Applies the safe repair of the active file, if there is one.
async function fixAll(): Promise<void> {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'tcl') return;
  const doc = editor.document;
  const whole = new vscode.Range(0, 0, doc.lineCount, 0);
  const actions = await vscode.commands.executeCommand<vscode.CodeAction[]>(
    'vscode.executeCodeActionProvider', doc.uri, whole, FIX_ALL_KIND.value);
  const fix = (actions ?? []).find((a) => a.kind && FIX_ALL_KIND.contains(a.kind) && a.edit);
  if (!fix || !fix.edit) {
    void vscode.window.showInformationMessage('delimcheck: no safe repair for this file.');
    return;
  }
  await vscode.workspace.applyEdit(fix.edit);
}

// Comments and brackets for `tcl`, unless another extension that knows the language gives its
// own: two would fight over them.
function languageConfiguration(context: vscode.ExtensionContext): void {
  const other = vscode.extensions.all.some((e) =>
    e.id !== context.extension.id &&
    (e.packageJSON?.contributes?.languages ?? []).some((l: { id?: string }) => l.id === 'tcl'));
  if (other) return;
  context.subscriptions.push(vscode.languages.setLanguageConfiguration('tcl', {
    comments: { lineComment: '#' },
    brackets: [['{', '}'], ['[', ']']],
  }));
}

export async function activate(context: vscode.ExtensionContext): Promise<void> {
  languageConfiguration(context);
  context.subscriptions.push(
    vscode.commands.registerCommand('delimcheck.fixAll', fixAll),
    vscode.commands.registerCommand('delimcheck.showOutput', () => {
      if (output) output.show(true);
      else void vscode.window.showInformationMessage('delimcheck: the server has not started.');
    }),
    { dispose: () => void client?.stop() });
  await start(context);
}

export async function deactivate(): Promise<void> {
  if (client) await client.stop();
  client = undefined;
}
