// Loads each generated module given on the command line the way a bundler would and prints one
// JSON line of problems: statements the generator never writes, parse errors, and anything
// printed or any global set while the module loads or its path functions run.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import vm from "node:vm";
import ts from "typescript";

const K = ts.SyntaxKind;
const WRITTEN = new Set([K.ImportDeclaration, K.InterfaceDeclaration, K.TypeAliasDeclaration, K.VariableStatement]);
// The libraries a zod module loads, for real: its schemas are built as it loads.
const LIBRARIES = new Set(["zod", "re2js", "firebase/firestore", "firebase-admin/firestore"]);
const library = createRequire(import.meta.url);
LIBRARIES.forEach(library);  // loaded once here, outside the time a module may take

function problems(file) {
  const text = readFileSync(file, "utf8");
  const source = ts.createSourceFile(file, text, ts.ScriptTarget.ES2022, true, ts.ScriptKind.TS);
  const found = source.parseDiagnostics.map((d) => `parse: ${ts.flattenDiagnosticMessageText(d.messageText, " ")}`);
  for (const s of source.statements) {
    const typeOnlyImport =
      s.kind !== K.ImportDeclaration || s.importClause?.isTypeOnly || LIBRARIES.has(s.moduleSpecifier.text);
    const constOnly = s.kind !== K.VariableStatement || s.declarationList.flags & ts.NodeFlags.Const;
    if (!WRITTEN.has(s.kind) || !typeOnlyImport || !constOnly) found.push(`statement: ${K[s.kind]}`);
  }
  const options = { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 };
  const printed = [];
  const require = (name) => (LIBRARIES.has(name) ? library(name) : printed.push(`require ${name}`) && {});
  const sandbox = { exports: {}, require };
  sandbox.console = new Proxy({}, { get: () => (...args) => printed.push(args.join(" ")) });
  const context = vm.createContext(sandbox);
  const globals = () => Object.getOwnPropertyNames(vm.runInContext("globalThis", context));
  const before = new Set(globals());
  try {
    vm.runInContext(ts.transpileModule(text, { compilerOptions: options }).outputText, context, { timeout: 1000 });
    for (const value of Object.values(sandbox.exports)) {
      if (typeof value === "function") value(..."abcdefgh".split(""));
    }
  } catch (error) {
    found.push(`run: ${error}`);
  }
  found.push(...globals().filter((name) => !before.has(name)).map((name) => `global: ${name}`));
  return found.concat(printed.map((line) => `printed: ${line}`));
}

console.log(JSON.stringify(Object.fromEntries(process.argv.slice(2).map((file) => [file, problems(file)]))));
