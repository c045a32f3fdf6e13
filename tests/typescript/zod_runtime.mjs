// Runs the zod runtime cases (tests/data/zod_runtime.json) against generated modules. argv[2] is the
// table, argv[3] a JSON object from each module name of the table to its generated file. Prints one
// JSON line: the cases whose outcome differs from the table's, with what happened instead.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import ts from "typescript";

const require = createRequire(import.meta.url);
const web = require("firebase/firestore");
const admin = require("firebase-admin/firestore");
const webDb = web.getFirestore(require("firebase/app").initializeApp({ projectId: "demo-brenvale" }));
const adminDb = admin.getFirestore(require("firebase-admin/app").initializeApp({ projectId: "demo-brenvale" }));
const fieldValues = {
  web: { serverTimestamp: web.serverTimestamp, deleteField: web.deleteField, increment: () => web.increment(1),
    arrayUnion: () => web.arrayUnion(1), arrayRemove: () => web.arrayRemove(1) },
  admin: { serverTimestamp: admin.FieldValue.serverTimestamp, deleteField: admin.FieldValue.delete,
    increment: () => admin.FieldValue.increment(1), arrayUnion: () => admin.FieldValue.arrayUnion(1),
    arrayRemove: () => admin.FieldValue.arrayRemove(1) },
};
// A plain object with every field and method the value checks look for: none may take it.
const mimic = () => ({ seconds: 1, nanoseconds: 0, latitude: 0, longitude: 0, id: "u", path: "users/u",
  _methodName: "serverTimestamp", methodName: "FieldValue.serverTimestamp",
  ...Object.fromEntries(["toMillis", "toDate", "isEqual", "toArray", "withConverter", "toUint8Array", "toBase64"]
    .map((name) => [name, () => []])) });
const builders = {
  web: { "\0ts": (s) => new web.Timestamp(s, 0), "\0geo": ([a, b]) => new web.GeoPoint(a, b), "\0vec": web.vector,
    "\0bytes": (t) => web.Bytes.fromUint8Array(new TextEncoder().encode(t)), "\0ref": (p) => web.doc(webDb, p),
    "\0col": (p) => web.collection(webDb, p), "\0fv": (name) => fieldValues.web[name]() },
  admin: { "\0ts": (s) => new admin.Timestamp(s, 0), "\0geo": ([a, b]) => new admin.GeoPoint(a, b),
    "\0vec": (v) => admin.FieldValue.vector(v), "\0bytes": (t) => Buffer.from(t), "\0ref": (p) => adminDb.doc(p),
    "\0col": (p) => adminDb.collection(p), "\0fv": (name) => fieldValues.admin[name]() },
};
const common = { "\0date": (ms) => new Date(ms), "\0mimic": mimic, "\0repeat": ([text, n, tail]) => text.repeat(n) + tail,
  "\0num": (text) => Number(text) };
// A tagged value ({"\u0000ts": seconds}, ...) built with the SDK's classes, bottom-up.
const build = (value, sdk) => {
  if (Array.isArray(value)) return value.map((item) => build(item, sdk));
  if (value === null || typeof value !== "object") return value;
  const entries = Object.entries(value).map(([key, item]) => [key, build(item, sdk)]);
  const tag = entries.length === 1 ? entries[0][0] : "";
  const make = Object.hasOwn(builders[sdk], tag) ? builders[sdk][tag] : Object.hasOwn(common, tag) && common[tag];
  return make ? make(entries[0][1]) : Object.fromEntries(entries);
};
const compilerOptions = { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2022 };
const load = (file, exports = {}) => {
  const text = ts.transpileModule(readFileSync(file, "utf8"), { compilerOptions }).outputText;
  new Function("exports", "require", text)(exports, require);
  return exports;
};
const messages = (error) => (error?.issues ?? [{ message: `threw ${error}` }]).map((issue) => issue.message);

// What one case did: { ok, messages, keys } where keys are those of the parsed or written value.
function run(kase, module) {
  const sdk = kase.values ?? module.sdk;
  if (kase.converter) {
    const converter = module.exports[kase.converter];
    const snapshot = { id: "d1", ref: { path: `c/d1` }, data: () => build(kase.stored, sdk) };
    try {
      const written = converter.toFirestore({ ...converter.fromFirestore(snapshot, {}), ...build(kase.change ?? {}, sdk) });
      return { ok: true, messages: [], keys: Object.keys(written).sort() };
    } catch (error) {
      return { ok: false, messages: messages(error), keys: [] };
    }
  }
  try {
    const parsed = module.exports[kase.schema].safeParse(build(kase.value, sdk));
    return { ok: parsed.success, messages: parsed.success ? [] : messages(parsed.error), keys: Object.keys(parsed.data ?? {}).sort() };
  } catch (error) {
    return { ok: false, messages: [`threw ${error}`], keys: [] };
  }
}

const table = JSON.parse(readFileSync(process.argv[2], "utf8"));
const files = JSON.parse(process.argv[3]);
const modules = Object.fromEntries(Object.entries(table.modules).map(([name, { sdk }]) => [name, { sdk, exports: load(files[name]) }]));
const wrong = [];
for (const kase of table.cases) {
  const got = run(kase, modules[kase.module]);
  const expected = kase.ok ?? true;
  const message = kase.message === undefined || got.messages.some((text) => text.includes(kase.message));
  const keys = kase.keys === undefined || JSON.stringify(got.keys) === JSON.stringify([...kase.keys].sort());
  if (got.ok !== expected || !message || !keys) wrong.push({ why: kase.why, got });
}
console.log(JSON.stringify(wrong));
process.exit(0);
