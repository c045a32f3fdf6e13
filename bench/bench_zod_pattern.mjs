// The reads bench_zod_pattern.py times: argv is the module, the value length and the runs.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import ts from "typescript";
const require = createRequire(import.meta.url);
const [file, length, runs] = [process.argv[2], Number(process.argv[3]), Number(process.argv[4])];
const options = {
  compilerOptions: { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 },
};
const exports = {};
new Function("exports", "require", ts.transpileModule(readFileSync(file, "utf8"), options).outputText)(exports, require);
// A fresh value for each read, made before it is timed, so nothing can be remembered between reads.
const values = Array.from({ length: runs + 1 }, (_, i) => "a".repeat(length - i) + "!");
const read = () => {
  const value = values.pop();
  const snapshot = { id: "n1", ref: { path: "notes/n1" }, data: () => ({ code: value }) };
  const start = performance.now();
  try { exports.noteValidatingConverter.fromFirestore(snapshot, {}); throw new Error("the value was accepted"); }
  catch (error) { if (!(error.issues?.length > 0)) throw error; }
  return performance.now() - start;
};
const first = read();
const times = Array.from({ length: runs }, read).sort((a, b) => a - b);
const native = [20, 22, 24].map((n) => {
  const start = performance.now();
  /^(a+)+$/.test("a".repeat(n) + "!");
  return [n, performance.now() - start];
});
console.log(JSON.stringify({ first, median: times[runs >> 1], max: times[runs - 1], native }));
