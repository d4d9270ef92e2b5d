// The json format's objects, as check() returns them.

export interface Position {
  line: number;
  /** Counts bytes of the UTF-8 text, from 1. */
  column: number;
}

export interface Related extends Position {
  message: string;
}

export interface Likely extends Position {
  reason: string;
}

export interface Edit {
  line: number;
  column: number;
  end_line: number;
  end_column: number;
  text: string;
}

export interface Fix {
  description: string;
  edits: Edit[];
}

export interface Diagnostic extends Position {
  /** "-": the text given to check(). */
  file: string;
  severity: 'error' | 'warning';
  code: string;
  message: string;
  related?: Related[];
  /** Where the indentation, or a repair, places the fault. */
  likely?: Likely;
  /** The repair, when one edit makes the whole text check clean. */
  fix?: Fix;
}

/** The checking options; each is the letter of the command line named. */
export interface CheckOptions {
  /** false: -c, a # at the start of a line is an ordinary byte. */
  hashLines?: boolean;
  /** -e: warn about a backslash followed by blanks at the end of a line. */
  warnBackslashBlank?: boolean;
  /** false: -g, after a closer that does not fit, discard nothing. */
  balancing?: boolean;
  /** false: -i, no reports about delimiters inside strings. */
  stringReports?: boolean;
  /** -t: every double quote outside a string opens one. */
  anyQuoteOpens?: boolean;
}

export type Text = string | Uint8Array | ArrayBuffer;

export function check(text: Text, options?: CheckOptions): Diagnostic[];
export function listing(text: Text, mode: 's' | 'm' | 'l' | 'j', options?: CheckOptions): string;
export function diff(text: Text, options?: CheckOptions): string;

export interface RunOptions {
  stdin?: Text;
  /** Standard input as a pipe, which cannot be read again: no repair is looked for, as natively. */
  stdinPipe?: boolean;
  /** Absolute paths and their bytes (null: a directory), put where the run can read them. */
  files?: Array<[string, Uint8Array | null]>;
  cwd?: string;
}
export interface RunResult {
  status: number;
  stdout: Uint8Array;
  stderr: Uint8Array;
}
/** The command line, without the program's name, as the native program runs it. */
export function run(args: string[], options?: RunOptions): RunResult;
export function version(): string;
/** In Node: the files named, read for run(); one that cannot be read is left out. */
export function operandFiles(names: string[], cwd: string): Array<[string, Uint8Array | null]>;
