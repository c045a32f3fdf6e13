// Decides documents with generated zod modules: one JSON line in, {"module", "schema", "doc"}, one line out, 1 when
// the schema accepts the document. Firestore values come tagged, as {"\u0000ts": seconds}, {"\u0000geo": [lat, lng]},
// {"\u0000bytes": text}, {"\u0000ref": path} or {"\u0000vec": numbers}, and are built as the SDK's own classes.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import readline from "node:readline";
import ts from "typescript";

// One copy of the SDK for the modules and the values, or instanceof would fail.
const require = createRequire(import.meta.url);
const fs = require("firebase/firestore");
const db = fs.getFirestore(require("firebase/app").initializeApp({ projectId: "demo-brenvale" }));
const build = {
  "\0ts": (s) => new fs.Timestamp(s, 0), "\0geo": ([lat, lng]) => new fs.GeoPoint(lat, lng), "\0vec": fs.vector,
  "\0bytes": (text) => fs.Bytes.fromUint8Array(new TextEncoder().encode(text)), "\0ref": (path) => fs.doc(db, path),
};
// Bottom-up, so a tag's value is plain JSON by the time it is built.
const revive = (_, value) => {
  const keys = value !== null && typeof value === "object" && !Array.isArray(value) ? Object.keys(value) : [];
  return keys.length === 1 && Object.hasOwn(build, keys[0]) ? build[keys[0]](value[keys[0]]) : value;
};
const modules = {}, compilerOptions = { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 };
const transpile = (file) => ts.transpileModule(readFileSync(file, "utf8"), { compilerOptions }).outputText;
const load = (file, exports = {}) => (new Function("exports", "require", transpile(file))(exports, require), exports);
for await (const line of readline.createInterface({ input: process.stdin })) {
  const { module, schema, doc } = JSON.parse(line, revive);
  process.stdout.write((modules[module] ??= load(module))[schema].safeParse(doc).success ? "1\n" : "0\n");
}
