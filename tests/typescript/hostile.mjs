// Loads each generated module given on the command line the way a bundler would and prints one
// JSON line of problems: statements the generator never writes, parse errors, and anything
// printed or any global set while the module loads or its path functions run.
import { readFileSync } from "node:fs";
import vm from "node:vm";
import ts from "typescript";

const WRITTEN = new Set([ts.SyntaxKind.ImportDeclaration, ts.SyntaxKind.InterfaceDeclaration,
  ts.SyntaxKind.TypeAliasDeclaration, ts.SyntaxKind.VariableStatement]);

function problems(file) {
  const text = readFileSync(file, "utf8");
  const found = [];
  const source = ts.createSourceFile(file, text, ts.ScriptTarget.ES2022, true, ts.ScriptKind.TS);
  for (const d of source.parseDiagnostics) found.push(`parse: ${ts.flattenDiagnosticMessageText(d.messageText, " ")}`);
  for (const s of source.statements) {
    const typeOnlyImport = s.kind !== ts.SyntaxKind.ImportDeclaration || s.importClause?.isTypeOnly;
    const constOnly = s.kind !== ts.SyntaxKind.VariableStatement || s.declarationList.flags & ts.NodeFlags.Const;
    if (!WRITTEN.has(s.kind) || !typeOnlyImport || !constOnly) found.push(`statement: ${ts.SyntaxKind[s.kind]}`);
  }
  const js = ts.transpileModule(text, { compilerOptions: { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 } });
  const printed = [];
  const sandbox = { exports: {}, require: (name) => { printed.push(`require ${name}`); return {}; } };
  sandbox.console = new Proxy({}, { get: () => (...args) => printed.push(args.join(" ")) });
  const context = vm.createContext(sandbox);
  const before = new Set(Object.getOwnPropertyNames(vm.runInContext("globalThis", context)));
  try {
    vm.runInContext(js.outputText, context, { timeout: 1000 });
    for (const value of Object.values(sandbox.exports)) {
      if (typeof value === "function") value(..."abcdefgh".split(""));
    }
  } catch (error) {
    found.push(`run: ${error}`);
  }
  for (const name of Object.getOwnPropertyNames(vm.runInContext("globalThis", context))) {
    if (!before.has(name)) found.push(`global: ${name}`);
  }
  return found.concat(printed.map((line) => `printed: ${line}`));
}

const report = {};
for (const file of process.argv.slice(2)) report[file] = problems(file);
console.log(JSON.stringify(report));
