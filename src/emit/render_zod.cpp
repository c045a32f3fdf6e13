// Schema node -> zod schema expression accepting exactly what its Firestore-mode type says.
#include "emit/render_zod.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "contract/presence.hpp"
#include "emit/zod_pattern.hpp"
#include "text/escape.hpp"
#include "text/fill.hpp"
#include "typescript/literal.hpp"

namespace brenvale {
namespace {

struct Check {
  Atom key;
  Template pattern;  // {n} is the bound
};

// Lengths count code points, as JSON Schema and Pydantic do; zod's own string bounds count
// UTF-16 code units, which differ for every character outside the BMP.
constexpr std::array<Check, 2> string_checks = {{
    {Atom::min_length,
     ".refine((text) => [...text].length >= {n}, \"Too short: expected at least {n} "
     "characters\")"},
    {Atom::max_length,
     ".refine((text) => [...text].length <= {n}, \"Too long: expected at most {n} "
     "characters\")"},
}};
constexpr std::array<Check, 5> number_checks = {{
    {Atom::minimum, ".gte({n})"},
    {Atom::maximum, ".lte({n})"},
    {Atom::exclusive_minimum, ".gt({n})"},
    {Atom::exclusive_maximum, ".lt({n})"},
    {Atom::multiple_of, ".multipleOf({n})"},
}};
// zod's multipleOf allows for a float's rounding, so past 2^50 or so it passes an odd number as a
// multiple of 2. An integer's remainder by a whole number is exact in JavaScript: Pydantic's check.
constexpr std::array<Check, 5> integer_checks = {{
    number_checks[0],
    number_checks[1],
    number_checks[2],
    number_checks[3],
    {Atom::multiple_of,
     ".refine((n) => n % {n} === 0, \"Invalid number: must be a multiple of {n}\")"},
}};
// A Decimal's bounds, which Pydantic writes on its number alone, held to its text as well: Pydantic
// holds the number it parses from a text to them too.
constexpr std::array<Check, 4> decimal_checks = {{
    {Atom::minimum, ".check(decimalBound(\">=\", \"{n}\"))"},
    {Atom::maximum, ".check(decimalBound(\"<=\", \"{n}\"))"},
    {Atom::exclusive_minimum, ".check(decimalBound(\">\", \"{n}\"))"},
    {Atom::exclusive_maximum, ".check(decimalBound(\"<\", \"{n}\"))"},
}};
// A number's bounds as refines, where zod's own checks would not do. On a float that anyNumber
// took: NaN fails each, and an infinity fails the bound it lies beyond and passes the other, as in
// Pydantic (z.number() refuses both infinities). On the value a union, an enum or a literal took,
// which Pydantic checks a bound it could not put on the type against: {guard} passes values that
// are no number there.
constexpr std::array<Check, 5> refined_number_checks = {{
    {Atom::minimum,
     ".refine((value) => {guard}value >= {n}, \"Too small: expected number to be >={n}\")"},
    {Atom::maximum,
     ".refine((value) => {guard}value <= {n}, \"Too big: expected number to be <={n}\")"},
    {Atom::exclusive_minimum,
     ".refine((value) => {guard}value > {n}, \"Too small: expected number to be >{n}\")"},
    {Atom::exclusive_maximum,
     ".refine((value) => {guard}value < {n}, \"Too big: expected number to be <{n}\")"},
    {Atom::multiple_of,
     ".refine((value) => {guard}value % {n} === 0, \"Invalid number: must be a multiple of "
     "{n}\")"},
}};
constexpr std::string_view numbers_only = "typeof value !== \"number\" || ";
// The lengths of such a value: a text's characters and a list's items, as {count} counts them.
constexpr std::array<Check, 2> value_length_checks = {{
    {Atom::min_length,
     ".refine((value) => !(typeof value === \"string\" || Array.isArray(value)) || {count} >= {n}, "
     "\"Too short: expected at least {n} characters or items\")"},
    {Atom::max_length,
     ".refine((value) => !(typeof value === \"string\" || Array.isArray(value)) || {count} <= {n}, "
     "\"Too long: expected at most {n} characters or items\")"},
}};
constexpr std::array<Check, 2> array_checks = {{
    {Atom::min_items, ".min({n})"},
    {Atom::max_items, ".max({n})"},
}};
// A set's bounds count its distinct items, as Pydantic counts the set it builds from the list:
// ["x", "x"] is one item.
constexpr std::array<Check, 2> set_checks = {{
    {Atom::min_items,
     ".refine((items) => new Set(items).size >= {n}, \"Too small: expected set to have >={n} "
     "items\")"},
    {Atom::max_items,
     ".refine((items) => new Set(items).size <= {n}, \"Too big: expected set to have <={n} "
     "items\")"},
}};
constexpr std::array<Check, 2> map_checks = {{
    {Atom::min_properties,
     ".refine((map) => Object.keys(map).length >= {n}, \"Too few keys: expected at least {n}\")"},
    {Atom::max_properties,
     ".refine((map) => Object.keys(map).length <= {n}, \"Too many keys: expected at most {n}\")"},
}};

// `guard`: the text of a {guard} placeholder, where the checks have one.
template <std::size_t N>
void append_checks(const ZodCtx& ctx, const TypeNode& node, const std::array<Check, N>& checks,
                   bool counts, std::string& out, std::string_view guard = {}) {
  for (const Check& check : checks) {
    const Datum& bound = ctx.types.contract->constraint(node, check.key);
    if (counts ? !bound.is_count() : !bound.is_number()) continue;
    fill(out, check.pattern, {{"n", literal(bound)}, {"guard", guard}});
  }
}

// The bounds a union, an enum or a literal carries, which no member holds.
void append_value_checks(const ZodCtx& ctx, const TypeNode& node, std::string& out) {
  append_checks(ctx, node, refined_number_checks, false, out, numbers_only);
  // A union whose lists are all sets counts a list's distinct items.
  const Contract& contract = *ctx.types.contract;
  bool lists = false;
  bool sets = true;
  if (node.form == TypeForm::alternatives) {
    for (const NodeId id : contract.alternatives(node)) {
      const TypeNode& member = contract.node(id);
      if (member.form != TypeForm::json || !contract.is_only(member, JsonType::array)) continue;
      lists = true;
      sets = sets && contract.constraint(member, Atom::unique_items).is_true();
    }
  }
  const std::string_view count =
      lists && sets ? "(Array.isArray(value) ? new Set(value).size : [...value].length)"
                    : "[...value].length";
  for (const Check& check : value_length_checks) {
    const Datum& bound = contract.constraint(node, check.key);
    if (bound.is_count()) fill(out, check.pattern, {{"n", literal(bound)}, {"count", count}});
  }
}

// Appends `count` members, rendered by `render(i, out)`, as one union (`opener` starts it): a
// single member stands alone and none is z.never(), as the type renderer writes `never`.
template <class Render>
void append_union(std::size_t count, Render render, std::string& out,
                  std::string_view opener = "z.union([") {
  if (count == 0) {
    out += "z.never()";
    return;
  }
  if (count > 1) out += opener;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) out += ", ";
    render(i, out);
  }
  if (count > 1) out += "])";
}

void append_literals(std::span<const Datum> values, std::string& out) {
  if (values.empty()) {
    out += "z.never()";
  } else if (!std::all_of(values.begin(), values.end(),
                          [](const Datum& value) { return value.is_scalar(); })) {
    out += "z.unknown()";  // the type renderer writes such a member as `unknown`
  } else {
    out += "z.literal([";
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i != 0) out += ", ";
      append_literal(values[i], out);
    }
    out += "])";
  }
}

void append_contract_name(const ZodCtx& ctx, const Definition& definition, std::string& out) {
  out += contract_namespace;
  out += '.';
  ctx.types.names->append(definition.name, out);
}

// The runtime helpers, in the order the module declares them. Firestore values are recognised by
// what they are, not by instanceof, which fails across the two SDKs and across copies of one: an
// instance of a class with the SDK's methods. A document's maps are plain objects, whose
// prototype's prototype is null in any realm, so no stored map can pass for one.
constexpr std::array<ZodHelper, 17> helper_table = {{
    {"isInstance",
     "// An instance of a class with these methods, as every Firestore value of either SDK is; a "
     "plain\n"
     "// object, which is all a document's map can be, never passes.\n"
     "const isInstance = (value: unknown, ...methods: string[]): value is Record<string, "
     "unknown> => {\n"
     "  if (typeof value !== \"object\" || value === null || Array.isArray(value)) return false;\n"
     "  const prototype: unknown = Object.getPrototypeOf(value);\n"
     "  return (\n"
     "    prototype !== null &&\n"
     "    Object.getPrototypeOf(prototype) !== null &&\n"
     "    methods.every((method) => typeof (value as Record<string, unknown>)[method] === "
     "\"function\")\n"
     "  );\n"
     "};\n\n"},
    {"isTimestamp",
     "const isTimestamp = (value: unknown): boolean =>\n"
     "  isInstance(value, \"toMillis\", \"toDate\", \"isEqual\") &&\n"
     "  typeof value[\"seconds\"] === \"number\" &&\n"
     "  typeof value[\"nanoseconds\"] === \"number\";\n\n"},
    {"isStorableDate",
     "// A Date Firestore can store: a valid time in the years 1 to 9999, the range of a "
     "Timestamp.\n"
     "const isStorableDate = (value: unknown): boolean =>\n"
     "  value instanceof Date && value.getTime() >= -62135596800000 && value.getTime() < "
     "253402300800000;\n\n"},
    {"isGeoPoint",
     "const isGeoPoint = (value: unknown): boolean =>\n"
     "  isInstance(value, \"isEqual\") &&\n"
     "  typeof value[\"latitude\"] === \"number\" &&\n"
     "  typeof value[\"longitude\"] === \"number\";\n\n"},
    {"isReference",
     "// A reference to a document, not to a collection: its path has an even number of "
     "segments.\n"
     "const isReference = (value: unknown): boolean =>\n"
     "  isInstance(value, \"withConverter\") &&\n"
     "  typeof value[\"id\"] === \"string\" &&\n"
     "  typeof value[\"path\"] === \"string\" &&\n"
     "  value[\"path\"].split(\"/\").length % 2 === 0;\n\n"},
    {"nestedModel",
     R"(// A model held in a document, which Firestore stores as a map: a plain object, never a Firestore
// value, whose fields z.object would otherwise read as the model's and write back as a map.
const nestedModel = <T>(schema: () => z.ZodType<T>) =>
  z
    .custom<unknown>(
      (value) => typeof value === "object" && value !== null && !Array.isArray(value) && !isInstance(value),
      "expected a map",
    )
    .pipe(z.lazy(schema));

)"},
    {"isVector",
     "const isVector = (value: unknown): boolean => isInstance(value, \"toArray\", "
     "\"isEqual\");\n\n"},
    {"isBytes",
     "const isBytes = (value: unknown): boolean => isInstance(value, \"toUint8Array\", "
     "\"toBase64\", \"isEqual\");\n\n"},
    {"isSentinel",
     "// A FieldValue sentinel made by one of the methods named: the web SDK keeps the name as\n"
     "// _methodName (\"deleteField\"), the Admin SDK as methodName (\"FieldValue.delete\").\n"
     "const isSentinel = (value: unknown, ...names: string[]): boolean => {\n"
     "  if (!isInstance(value)) return false;\n"
     "  const name = value[\"_methodName\"] ?? value[\"methodName\"];\n"
     "  return typeof name === \"string\" && names.includes(name);\n"
     "};\n\n"},
    {"anyNumber",
     "// Any number, as Pydantic's float takes it: NaN and the infinities too, which Firestore "
     "stores\n"
     "// and z.number() refuses.\n"
     "const anyNumber = z.custom<number>((value) => typeof value === \"number\", \"Invalid input: "
     "expected number\");\n\n"},
    {"pattern",
     "// A string check by a contract pattern, matched by RE2 (re2js) in time linear in the text, "
     "as\n"
     "// Pydantic's engine matches it. A pattern RE2 cannot compile fails every value, saying "
     "why:\n"
     "// it never throws, neither as the module loads nor as a value is checked. Each pattern is\n"
     "// compiled once, however many fields check it: a large one takes milliseconds.\n"
     "const patterns = new Map<string, { test: (text: string) => boolean, message: string }>();\n"
     "const pattern = (source: string): z.core.$ZodCheck<string> => {\n"
     "  let compiled = patterns.get(source);\n"
     "  if (compiled === undefined) {\n"
     "    compiled = {\n"
     "      test: () => false,\n"
     "      message: \"expected a match of the pattern \" + JSON.stringify(source),\n"
     "    };\n"
     "    try {\n"
     "      const matcher = RE2JS.compile(source);\n"
     "      compiled.test = (text) => matcher.test(text);\n"
     "    } catch (error) {\n"
     "      compiled.message = \"the pattern \" + JSON.stringify(source) + \" cannot be checked: "
     "\" + String(error);\n"
     "    }\n"
     "    patterns.set(source, compiled);\n"
     "  }\n"
     "  const { test, message } = compiled;\n"
     "  return z.refine((text: string) => {\n"
     "    try {\n"
     "      return test(text);\n"
     "    } catch {\n"
     "      return false;\n"
     "    }\n"
     "  }, message);\n"
     "};\n\n"},
    {"ownKeys",
     R"(// A plain map with its own keys alone: z.object reads each key it declares off the value, so a
// key that a map lacks, such as `constructor`, would be read off Object.prototype instead.
const ownKeys = (value: unknown): unknown =>
  typeof value === "object" && value !== null && Object.getPrototypeOf(value) === Object.prototype
    ? Object.assign(Object.create(null), value)
    : value;

)"},
    {"decimalParts",
     R"(// A decimal text, digits with at most one point and then perhaps an exponent, as the number
// sign * 0.DIGITS * 10^power, DIGITS without leading or trailing zeros; zero's sign is 0. Null for
// any other text. A loop, which reads a long text once.
type DecimalParts = { sign: number; digits: string; power: number };
const decimalParts = (text: string): DecimalParts | null => {
  const negative = text.startsWith("-");
  let at = negative || text.startsWith("+") ? 1 : 0;
  let point = -1;
  let first = -1;
  let last = -1;
  let count = 0;
  for (; at < text.length; at += 1) {
    const c = text.charAt(at);
    if (c === "." && point < 0) {
      point = at;
    } else if (c >= "0" && c <= "9") {
      count += 1;
      if (c !== "0") {
        if (first < 0) first = at;
        last = at;
      }
    } else {
      break;
    }
  }
  let exponent = 0;
  if (at < text.length) {
    const rest = text.slice(at + 1);
    if ((text[at] !== "e" && text[at] !== "E") || !/^[+-]?\d+$/.test(rest)) return null;
    exponent = Number(rest);
  }
  if (count === 0) return null;
  if (first < 0) return { sign: 0, digits: "", power: 0 };
  const wholeEnd = point < 0 ? at : point;
  const digits =
    point > first && point < last
      ? text.slice(first, point) + text.slice(point + 1, last + 1)
      : text.slice(first, last + 1);
  const power = (first < wholeEnd ? wholeEnd - first : wholeEnd + 1 - first) + exponent;
  return { sign: negative ? -1 : 1, digits, power };
};

)"},
    {"decimalDigits",
     R"(// A Decimal's digits, counted as Pydantic counts them on the number it parses: leading zeros
// and the fraction's trailing zeros do not count, and an exponent moves the point. Zero is one
// digit, before the point unless digits follow the point once the exponent has moved it. A
// bound of null is none. A text that is no decimal is the pattern's to refuse.
const decimalDigits = (
  maxDigits: number | null,
  places: number | null,
): z.core.$ZodCheck<string> =>
  z.superRefine((text: string, ctx) => {
    const parts = decimalParts(text);
    if (parts === null) return;
    let whole = Math.max(0, parts.power);
    let fraction = Math.max(0, parts.digits.length - parts.power);
    if (parts.sign === 0) {
      const e = text.search(/[eE]/);
      const mantissa = e < 0 ? text : text.slice(0, e);
      const point = mantissa.indexOf(".");
      const after = point < 0 ? 0 : mantissa.length - point - 1;
      whole = after - (e < 0 ? 0 : Number(text.slice(e + 1))) > 0 ? 0 : 1;
      fraction = 0;
    }
    const digits = parts.sign === 0 ? 1 : whole + fraction;
    const most = (count: number, what: string) =>
      `Decimal input should have no more than ${count} ${what}${count === 1 ? "" : "s"}`;
    let message: string | undefined;
    if (maxDigits !== null && digits > maxDigits) {
      message = most(maxDigits, "digit") + " in total";
    } else if (places !== null && fraction > places) {
      message = most(places, "decimal place");
    } else if (maxDigits !== null && places !== null && whole > Math.max(0, maxDigits - places)) {
      message = most(Math.max(0, maxDigits - places), "digit") + " before the decimal point";
    }
    if (message !== undefined) ctx.addIssue({ code: "custom", message });
  });

)"},
    {"decimalBound",
     R"(// A Decimal text held to a bound as Pydantic holds the number it parses: exactly, in decimal,
// where a float would round, with Pydantic's messages. A text that is no decimal is the
// pattern's to refuse.
type DecimalOperator = ">=" | "<=" | ">" | "<";
const decimalBound = (operator: DecimalOperator, bound: string): z.core.$ZodCheck<string> => {
  const limit = decimalParts(bound);
  const words = {
    ">=": "greater than or equal to",
    "<=": "less than or equal to",
    ">": "greater than",
    "<": "less than",
  }[operator];
  return z.superRefine((text: string, ctx) => {
    const value = decimalParts(text);
    if (value === null || limit === null) return;
    let order = Math.sign(value.sign - limit.sign);
    if (order === 0 && value.sign !== 0) {
      order = Math.sign(value.power - limit.power);
      if (order === 0 && value.digits !== limit.digits) order = value.digits < limit.digits ? -1 : 1;
      order *= value.sign;
    }
    const holds = { ">=": order >= 0, "<=": order <= 0, ">": order > 0, "<": order < 0 }[operator];
    if (!holds) ctx.addIssue({ code: "custom", message: `Input should be ${words} ${bound}` });
  });
};

)"},
    {"bestOf",
     R"(// A union of models, read as Pydantic reads one: of the members a value passes, the one that
// keeps the most of its keys (the first of those that keep as many). z.union takes the first
// it passes, which would drop the keys only a later member declares. In one parse, a member
// reads a map once, however many members above read it: a recursive union stays linear.
let bestOfParses: WeakMap<object, Map<z.ZodType, z.ZodSafeParseResult<unknown>>> | undefined;
const bestOf = <T extends readonly [z.ZodType, z.ZodType, ...z.ZodType[]]>(options: T) =>
  z.unknown().transform((value, ctx): z.output<T[number]> => {
    const outermost = bestOfParses === undefined;
    const parses = (bestOfParses ??= new WeakMap());
    try {
      const keys = (data: unknown): string[] =>
        typeof data === "object" && data !== null && !Array.isArray(data) ? Object.keys(data) : [];
      const given = keys(value);
      let read: Map<z.ZodType, z.ZodSafeParseResult<unknown>> | undefined;
      if (typeof value === "object" && value !== null) {
        read = parses.get(value) ?? new Map();
        parses.set(value, read);
      }
      let best: { data: unknown; kept: number } | undefined;
      const errors: z.core.$ZodIssue[][] = [];
      for (const option of options) {
        const parsed = read?.get(option) ?? option.safeParse(value);
        read?.set(option, parsed);
        if (!parsed.success) {
          errors.push(parsed.error.issues);
          continue;
        }
        const held = new Set(keys(parsed.data));
        const kept = given.filter((key) => held.has(key)).length;
        if (best === undefined || kept > best.kept) best = { data: parsed.data, kept };
      }
      if (best !== undefined) return best.data as z.output<T[number]>;
      ctx.issues.push({ code: "invalid_union", errors, input: value, message: "Invalid input" });
      return z.NEVER;
    } finally {
      if (outermost) bestOfParses = undefined;
    }
  });

)"},
    {"byTag",
     R"(// A union read as Pydantic reads one with a tag: a value goes to the member whose tag values
// (`values`, a list for each member) hold its `key`, and fails without the key or with another
// value. z.discriminatedUnion would ask each member's schema for its values, which a tag with a
// default, or a map read with its own keys alone, does not give.
const byTag = <T extends readonly [z.ZodType, ...z.ZodType[]]>(
  key: string,
  values: readonly (readonly unknown[])[],
  options: T,
) =>
  z.unknown().transform((value, ctx): z.output<T[number]> => {
    const tagged =
      typeof value === "object" && value !== null && Object.prototype.hasOwnProperty.call(value, key);
    const tag = tagged ? (value as Record<string, unknown>)[key] : undefined;
    const option = tagged ? options[values.findIndex((each) => each.includes(tag))] : undefined;
    if (option === undefined) {
      ctx.issues.push({
        code: "invalid_union",
        errors: [],
        note: "No matching discriminator",
        discriminator: key,
        input: value,
        path: [key],
        message: "Invalid input",
      });
      return z.NEVER;
    }
    const parsed = option.safeParse(value);
    if (parsed.success) return parsed.data as z.output<T[number]>;
    for (const issue of parsed.error.issues) ctx.issues.push(issue as z.core.$ZodRawIssue);
    return z.NEVER;
  });

)"},
}};

// Records that the module needs `helper`, and the check every Firestore value helper builds on.
void use_helper(ZodCtx& ctx, std::string_view helper) {
  if (helper.starts_with("is")) ctx.helpers.insert("isInstance");
  if (helper.starts_with("decimal")) ctx.helpers.insert("decimalParts");
  ctx.helpers.insert(helper);
}

// A FieldValue sentinel as each SDK names its method and its call.
struct Sentinel {
  std::string_view web;
  std::string_view admin;
};
constexpr Sentinel server_timestamp = {"serverTimestamp", "FieldValue.serverTimestamp"};
constexpr Sentinel delete_field = {"deleteField", "FieldValue.delete"};

// z.custom<{type}> over a helper's check, failing with "expected {expected}".
void append_custom(std::string_view type, std::string_view check, std::string_view expected,
                   std::string& out) {
  std::string message = "expected ";
  message += expected;
  std::string quoted;
  append_quoted(message, quoted);
  fill(out, "z.custom<{type}>({check}, {message})",
       {{"type", type}, {"check", check}, {"message", quoted}});
}

// A Firestore value of the SDK's class `type`, recognised by `helper`.
void append_value(ZodCtx& ctx, SdkType type, std::string_view helper, std::string_view expected,
                  std::string& out) {
  ctx.types.imports.insert(type);
  use_helper(ctx, helper);
  append_custom(sdk_type_name(type), helper, expected, out);
}

// What a write puts in a server-timestamp field: the sentinel, or the one that deletes the
// field where the field may be absent.
void append_sentinels(ZodCtx& ctx, bool may_be_absent, std::string& out) {
  const bool admin = ctx.types.sdk == Sdk::admin;
  std::string names;
  std::string expected;
  const std::array<Sentinel, 2> allowed = {server_timestamp, delete_field};
  for (std::size_t i = 0; i < (may_be_absent ? 2 : 1); ++i) {
    const Sentinel& sentinel = allowed[i];
    const std::string_view name = admin ? sentinel.admin : sentinel.web;
    if (!names.empty()) {
      names += ", ";
      expected += " or ";
    }
    append_quoted(name, names);
    expected += name;
    expected += "()";
  }
  ctx.types.imports.insert(SdkType::field_value);
  use_helper(ctx, "isSentinel");
  std::string check;
  fill(check, "(value) => isSentinel(value, {names})", {{"names", names}});
  append_custom("FieldValue", check, expected, out);
}

// The vector's dimension where the contract states it (its item bounds), on either side.
void append_dimension(const ZodCtx& ctx, const TypeNode& node, std::string& out) {
  const Datum& low = ctx.types.contract->constraint(node, Atom::min_items);
  const Datum& high = ctx.types.contract->constraint(node, Atom::max_items);
  const auto check = [&](std::string_view test, std::string_view expected, const Datum& bound) {
    fill(out,
         ".refine((vector) => vector.toArray().length {test} {n}, \"expected {expected}{n} "
         "dimensions\")",
         {{"test", test}, {"expected", expected}, {"n", literal(bound)}});
  };
  if (low.is_count() && high.is_count() && literal(low) == literal(high)) {
    check("===", "", low);
    return;
  }
  if (low.is_count()) check(">=", "at least ", low);
  if (high.is_count()) check("<=", "at most ", high);
}

void append_firestore_zod(ZodCtx& ctx, const TypeNode& node, Side side, std::string& out) {
  const bool may_be_absent = ctx.may_be_absent;
  const bool admin = ctx.types.sdk == Sdk::admin;
  switch (node.firestore) {
    case FirestoreKind::timestamp:
      if (side == Side::write && node.server_timestamp) {
        append_sentinels(ctx, may_be_absent, out);
      } else if (side == Side::write) {
        ctx.types.imports.insert(SdkType::timestamp);
        use_helper(ctx, "isTimestamp");
        use_helper(ctx, "isStorableDate");
        append_custom("Timestamp | Date", "(value) => isTimestamp(value) || isStorableDate(value)",
                      "a Timestamp or a Date of the years 1 to 9999", out);
      } else {
        append_value(ctx, SdkType::timestamp, "isTimestamp", "a Timestamp", out);
        if (node.server_timestamp) out += ".nullable()";
      }
      return;
    case FirestoreKind::reference: {
      std::string type = "DocumentReference<";
      std::string expected = "a DocumentReference";
      if (const DefId target = ctx.types.contract->extras_of(node).ref_target_def;
          target != no_id) {
        const Definition& definition = ctx.types.contract->definitions[target];
        append_contract_name(ctx, definition, type);
        if (definition.has_collection) {
          fill(expected, " to {collection}/{id}",
               {{"collection", ctx.types.contract->extras_of(definition).collection},
                {"id", "{id}"}});
        } else {
          expected += " to ";
          ctx.types.names->append(definition.name, expected);
        }
      } else {
        // No definition to name: the interface's own type is an error there already.
        ctx.types.imports.insert(SdkType::document_data);
        type += "DocumentData";
      }
      type += '>';
      ctx.types.imports.insert(SdkType::document_reference);
      use_helper(ctx, "isReference");
      append_custom(type, "isReference", expected, out);
      return;
    }
    case FirestoreKind::geopoint:
      append_value(ctx, SdkType::geo_point, "isGeoPoint", "a GeoPoint", out);
      return;
    case FirestoreKind::vector:
      // The Admin SDK exports no VectorValue type: the module declares it, as its Firestore
      // module does.
      append_value(ctx, SdkType::vector_value, "isVector", "a VectorValue", out);
      append_dimension(ctx, node, out);
      return;
    case FirestoreKind::bytes:
      // The Admin SDK reads bytes as a Buffer and writes any Uint8Array.
      if (admin) {
        out +=
            "z.custom<Uint8Array>((value) => value instanceof Uint8Array, \"expected a "
            "Uint8Array\")";
      } else {
        append_value(ctx, SdkType::bytes, "isBytes", "Bytes", out);
      }
      return;
    case FirestoreKind::other:
      out += "z.unknown()";
      return;
  }
}

// `in_union`: a member of a union that reads the value's tag, which no Firestore value has, and
// whose members must be the schemas themselves.
void append_reference_zod(ZodCtx& ctx, DefId target, Side side, std::string& out,
                          bool in_union = false) {
  // A dangling name has no schema (its interface type is an error already); a circular one is
  // `unknown` in the alias, as the type renderer writes it.
  if (target == no_id || refers_back_to_alias(ctx.types, target)) {
    out += "z.unknown()";
    return;
  }
  const Definition& definition = ctx.types.contract->definitions[target];
  const SchemaNames& schemas = ctx.schemas[target];
  if (definition.kind == DefinitionKind::model && !in_union) {
    use_helper(ctx, "nestedModel");
    use_helper(ctx, "isInstance");  // which nestedModel calls
    fill(out, "nestedModel(() => {schema})",
         {{"schema", side == Side::write ? schemas.write : schemas.read}});
  } else if (definition.kind != DefinitionKind::enumeration) {
    fill(out, "z.lazy(() => {schema})",
         {{"schema", side == Side::write ? schemas.write : schemas.read}});
  } else if (side == Side::read && is_open_enum(ctx.types.contract->members_of(definition))) {
    // Read-side string enums also admit values a newer contract may add.
    fill(out, "z.union([z.lazy(() => {schema}), z.string()])", {{"schema", schemas.read}});
  } else {
    fill(out, "z.lazy(() => {schema})", {{"schema", schemas.read}});
  }
}

// The names a plain object inherits from Object.prototype. A model that declares one reads a
// map's own keys alone. Firestore reserves the `__` names, yet a bundle may still declare them.
constexpr std::array<std::string_view, 12> inherited_names = {
    "constructor",      "hasOwnProperty",   "isPrototypeOf",    "propertyIsEnumerable",
    "toLocaleString",   "toString",         "valueOf",          "__proto__",
    "__defineGetter__", "__defineSetter__", "__lookupGetter__", "__lookupSetter__"};

// The lengths of those names, as bits: most keys are none of them by length alone.
constexpr std::uint32_t inherited_lengths = [] {
  std::uint32_t bits = 0;
  for (const std::string_view name : inherited_names) bits |= std::uint32_t{1} << name.size();
  return bits;
}();

bool declares_inherited_name(const Contract& contract, const Definition& definition) {
  const std::span<const Property> properties = contract.properties_of(definition);
  return std::any_of(properties.begin(), properties.end(), [](const Property& property) {
    const std::size_t size = property.key.size();
    return size < 32 && ((inherited_lengths >> size) & 1U) != 0 &&
           std::find(inherited_names.begin(), inherited_names.end(), property.key) !=
               inherited_names.end();
  });
}

// The tag property of a union member read by the tag `tag`: the alternative is a `$ref` to a
// model that has it, written on this side and not the document id. Null otherwise.
const Property* member_tag(const Contract& contract, NodeId alternative, std::string_view tag,
                           Side side) {
  const TypeNode& member = contract.node(alternative);
  if (!member.has_ref || member.ref_def == no_id) return nullptr;
  const Definition& model = contract.definitions[member.ref_def];
  if (model.kind != DefinitionKind::model) return nullptr;
  const Property* property = contract.property(model, tag);
  if (property == nullptr || presence_of(model, *property, side, contract) == Presence::absent ||
      presence_of(model, *property, Side::read, contract) == Presence::document_id)
    return nullptr;
  return property;
}

// A tag value as JavaScript tells values apart, which zod's tag lookups do (SameValueZero): 1
// and 1.0, 0 and -0, and integers past 2^53 that round to one double are one number there,
// whatever their texts.
std::string tag_key(const Datum& value) {
  if (!value.is_number()) return literal(value);
  double number = value.float64;
  if (value.kind == Kind::int64) number = static_cast<double>(value.int64);
  if (value.kind == Kind::uint64) number = static_cast<double>(value.uint64);
  if (number == 0) number = 0;  // -0 too
  std::array<char, 32> text{};
  const auto end = std::to_chars(text.data(), text.data() + text.size(), number).ptr;
  return "#" + std::string(text.data(), end);
}

// The tag property of a discriminated union that zod can check as one: every member's tag
// (member_tag) required and constant, with no tag value twice, and no member read with its own
// keys alone, which gives the union no tag values. Otherwise see tag_lists.
std::optional<std::string_view> union_tag(const ZodCtx& ctx, const TypeNode& node,
                                          std::span<const NodeId> alternatives, Side side) {
  if (!node.has_discriminator_property || alternatives.empty()) return std::nullopt;
  const Contract& contract = *ctx.types.contract;
  const std::string_view tag = contract.extras_of(node).discriminator_property;
  std::vector<std::string> values;
  for (const NodeId alternative : alternatives) {
    const Property* property = member_tag(contract, alternative, tag, side);
    if (property == nullptr || !property->required ||
        declares_inherited_name(contract, contract.definitions[contract.node(alternative).ref_def]))
      return std::nullopt;
    // Only a tag every document of this side carries can pick the member.
    const Datum& value = contract.extras_of(contract.node(property->node)).constant;
    if (!value.is_scalar()) return std::nullopt;
    values.push_back(tag_key(value));
  }
  std::sort(values.begin(), values.end());
  if (std::adjacent_find(values.begin(), values.end()) != values.end()) return std::nullopt;
  return tag;
}

// The tag values of each member of a union the bundle says is read by its tag, as a list each
// (`["text"]`), where z.discriminatedUnion cannot read it: a tag with a default, or several
// values, or a member read with its own keys alone. Pydantic still asks every value for its tag.
// Each member's tag (member_tag) must hold scalars alone (a constant, or an `enum`) that no
// other member holds. Empty otherwise.
std::vector<std::string> tag_lists(const ZodCtx& ctx, const TypeNode& node,
                                   std::span<const NodeId> alternatives, Side side) {
  if (!node.has_discriminator_property || alternatives.empty()) return {};
  const Contract& contract = *ctx.types.contract;
  const std::string_view tag = contract.extras_of(node).discriminator_property;
  std::vector<std::string> lists;
  std::vector<std::string> seen;
  for (const NodeId alternative : alternatives) {
    const Property* property = member_tag(contract, alternative, tag, side);
    if (property == nullptr) return {};
    const TypeNode& tag_node = contract.node(property->node);
    const Datum& constant = contract.extras_of(tag_node).constant;
    const std::span<const Datum> values =
        constant.present ? std::span<const Datum>(&constant, 1) : contract.enum_values(tag_node);
    if (values.empty()) return {};
    std::string list = "[";
    for (const Datum& value : values) {
      if (!value.is_scalar()) return {};
      std::string key = tag_key(value);
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) return {};
      if (list.size() > 1) list += ", ";
      append_literal(value, list);
      seen.push_back(std::move(key));
    }
    lists.push_back(list + "]");
  }
  return lists;
}

// The schemas of a union's members, each a `$ref` to a model, joined with ", ".
void append_member_schemas(ZodCtx& ctx, std::span<const NodeId> alternatives, Side side,
                           std::string& out) {
  for (std::size_t i = 0; i < alternatives.size(); ++i) {
    if (i != 0) out += ", ";
    append_reference_zod(ctx, ctx.types.contract->node(alternatives[i]).ref_def, side, out, true);
  }
}

// The members of a union that is Pydantic's Decimal, which writes the Decimal as one number and
// one text of its pattern; both no_id for any other union.
struct DecimalMembers {
  NodeId number = no_id;
  NodeId text = no_id;
};

DecimalMembers decimal_members(const Contract& contract, std::span<const NodeId> alternatives) {
  DecimalMembers found;
  for (const NodeId id : alternatives) {
    const TypeNode& member = contract.node(id);
    NodeId* slot = nullptr;
    if (contract.is_only(member, JsonType::number)) {
      slot = &found.number;
    } else if (const Datum& pattern = contract.constraint(member, Atom::pattern);
               contract.is_only(member, JsonType::string) && pattern.is_string() &&
               is_decimal_pattern(pattern.text())) {
      slot = &found.text;
    }
    if (slot == nullptr) continue;
    if (*slot != no_id) return {};
    *slot = id;
  }
  return found.number != no_id && found.text != no_id ? found : DecimalMembers{};
}

void append_alternatives(ZodCtx& ctx, const TypeNode& node, Side side, std::string& out) {
  const std::span<const NodeId> alternatives = ctx.types.contract->alternatives(node);
  if (const auto tag = union_tag(ctx, node, alternatives, side)) {
    out += "z.discriminatedUnion(";
    append_quoted(*tag, out);
    out += ", [";
    append_member_schemas(ctx, alternatives, side, out);
    out += "])";
    return;
  }
  if (const std::vector<std::string> lists = tag_lists(ctx, node, alternatives, side);
      !lists.empty()) {
    use_helper(ctx, "byTag");
    out += "byTag(";
    append_quoted(ctx.types.contract->extras_of(node).discriminator_property, out);
    out += ", [";
    for (std::size_t i = 0; i < lists.size(); ++i) {
      if (i != 0) out += ", ";
      out += lists[i];
    }
    out += "], [";
    append_member_schemas(ctx, alternatives, side, out);
    out += "])";
    return;
  }
  const bool may_be_absent = ctx.may_be_absent;
  // Optional[X] as X.nullable(): a value that fails then says what X expected, where a union
  // says only "Invalid input".
  if (alternatives.size() == 2) {
    const auto is_null = [&](NodeId id) {
      const TypeNode& member = ctx.types.contract->node(id);
      return member.form == TypeForm::json && !member.type_list && member.null_type;
    };
    if (is_null(alternatives[0]) != is_null(alternatives[1])) {
      append_zod(ctx, alternatives[is_null(alternatives[0]) ? 1 : 0], side, out);
      out += ".nullable()";
      return;
    }
  }
  // Two models or more: a value may pass several, and the one that keeps most of it is taken.
  const Contract& contract = *ctx.types.contract;
  const auto is_model = [&](NodeId id) {
    const TypeNode& member = contract.node(id);
    return member.form == TypeForm::reference && member.ref_def != no_id &&
           contract.definitions[member.ref_def].kind == DefinitionKind::model;
  };
  const bool models = std::count_if(alternatives.begin(), alternatives.end(), is_model) >= 2;
  if (models) use_helper(ctx, "bestOf");
  const DecimalMembers decimal = decimal_members(contract, alternatives);
  append_union(
      alternatives.size(),
      [&](std::size_t i, std::string& buffer) {
        ctx.may_be_absent = may_be_absent;
        append_zod(ctx, alternatives[i], side, buffer);
        if (decimal.text != no_id && alternatives[i] == decimal.text) {
          const std::size_t before = buffer.size();
          append_checks(ctx, contract.node(decimal.number), decimal_checks, false, buffer);
          if (buffer.size() != before) use_helper(ctx, "decimalBound");
        }
      },
      out, models ? "bestOf([" : "z.union([");
}

// A string check by a contract pattern, which enters only as a string literal, compiled by the
// module's pattern helper.
void append_pattern_check(ZodCtx& ctx, std::string_view pattern, std::string& out) {
  out += ".check(pattern(";
  append_quoted(matched_pattern(pattern), out);
  out += "))";
  use_helper(ctx, "pattern");
  // A Decimal's bound on digits, which Pydantic checks on the number and its pattern cannot say.
  if (const std::optional<DecimalDigits> digits = decimal_digits(pattern)) {
    const auto shown = [](std::optional<std::size_t> count) {
      return count ? std::to_string(*count) : std::string("null");
    };
    out +=
        ".check(decimalDigits(" + shown(digits->max_digits) + ", " + shown(digits->places) + "))";
    use_helper(ctx, "decimalDigits");
  }
}

void append_string_zod(ZodCtx& ctx, const TypeNode& node, std::string& out) {
  out += "z.string()";
  append_checks(ctx, node, string_checks, true, out);
  if (const Datum& pattern = ctx.types.contract->constraint(node, Atom::pattern);
      pattern.is_string())
    append_pattern_check(ctx, pattern.text(), out);
}

// Aliases followed, at most, to the text a key or an id is checked by; a longer chain stays.
constexpr int text_hops = 32;

// The node whose checks a map's key or a document id is held to: through an alias that says
// nothing beside its name, and out of a union with null (neither is ever null), as Pydantic
// checks the text by the type it names.
const TypeNode& text_node(const Contract& contract, NodeId id) {
  for (int hop = 0; hop < text_hops; ++hop) {
    const TypeNode& node = contract.node(id);
    if (node.constraints.count != 0) return node;
    if (node.form == TypeForm::reference && node.ref_def != no_id &&
        contract.definitions[node.ref_def].kind == DefinitionKind::alias) {
      id = contract.definitions[node.ref_def].node;
      continue;
    }
    if (node.form != TypeForm::alternatives) return node;
    const std::span<const NodeId> members = contract.alternatives(node);
    const auto is_null = [&](NodeId member) {
      const TypeNode& n = contract.node(member);
      return n.form == TypeForm::json && !n.type_list && n.null_type;
    };
    if (members.size() != 2 || is_null(members[0]) == is_null(members[1])) return node;
    id = members[is_null(members[0]) ? 1 : 0];
  }
  return contract.node(id);
}

// The one pattern of a map's keys, where the map says nothing of other keys: Pydantic writes a
// dict whose keys have a pattern so, and refuses a key that does not match. Its schema then
// reads every value.
bool keys_by_pattern(const Contract& contract, const TypeNode& node) {
  return contract.key_patterns(node).size() == 1 &&
         !contract.constraint(node, Atom::additional_properties).present;
}

// The strings a schema of a map's keys (`propertyNames`) lists, on this side: none when it lists
// no strings, or when the keys are read open, as a string enum's values are.
std::optional<std::span<const Datum>> listed_keys(const Contract& contract, const TypeNode& node,
                                                  Side side) {
  std::span<const Datum> values;
  if (node.form == TypeForm::literal) {
    values = std::span<const Datum>(&contract.extras_of(node).constant, 1);
  } else if (side == Side::read) {
    return std::nullopt;
  } else if (node.form == TypeForm::enumeration) {
    values = contract.enum_values(node);
  } else if (node.form == TypeForm::reference && node.ref_def != no_id &&
             contract.definitions[node.ref_def].kind == DefinitionKind::enumeration) {
    values = contract.members_of(contract.definitions[node.ref_def]);
  }
  if (values.empty() || !std::all_of(values.begin(), values.end(),
                                     [](const Datum& value) { return value.is_string(); }))
    return std::nullopt;
  return values;
}

// A map's keys: strings with the bounds and pattern its `propertyNames` sets, matching its key
// pattern, and of the values its `propertyNames` lists.
void append_map_keys(ZodCtx& ctx, const TypeNode& node, Side side, std::string& out) {
  const Contract& contract = *ctx.types.contract;
  const NodeId names = contract.map_keys_of(node).names;
  const TypeNode* by = names == no_id ? nullptr : &text_node(contract, names);
  const bool bounds = by != nullptr && (by->form == TypeForm::unknown ||
                                        (by->form == TypeForm::json && !by->type_list &&
                                         contract.types(*by).front().type == JsonType::string));
  if (bounds) {
    append_string_zod(ctx, *by, out);
  } else {
    out += "z.string()";
  }
  if (keys_by_pattern(contract, node))
    append_pattern_check(ctx, contract.key_patterns(node).front(), out);
  if (by == nullptr || bounds) return;
  if (const auto listed = listed_keys(contract, *by, side)) {
    out += ".pipe(";
    append_literals(*listed, out);
    out += ')';
  }
}

void append_json_zod(ZodCtx& ctx, JsonType type, const TypeNode& node, Side side,
                     std::string& out) {
  switch (type) {
    case JsonType::null:
      out += "z.null()";
      return;
    case JsonType::string:
      append_string_zod(ctx, node, out);
      return;
    case JsonType::number:
    case JsonType::integer: {
      const bool bounded =
          std::any_of(number_checks.begin(), number_checks.end(), [&](const Check& check) {
            return ctx.types.contract->constraint(node, check.key).is_number();
          });
      const Datum& step = ctx.types.contract->constraint(node, Atom::multiple_of);
      // A float takes NaN and the infinities, unless a bound refuses them; a step refuses all
      // three (zod's multipleOf, which Pydantic's float remainder does not).
      if (type == JsonType::number && !step.is_number()) {
        out += "anyNumber";
        use_helper(ctx, "anyNumber");
        if (bounded) append_checks(ctx, node, refined_number_checks, false, out);
        return;
      }
      const bool whole_step = (step.kind == Kind::int64 && step.int64 != 0) ||
                              (step.kind == Kind::uint64 && step.uint64 != 0);
      if (type == JsonType::integer) {
        out += "z.int()";
        append_checks(ctx, node, whole_step ? integer_checks : number_checks, false, out);
      } else {
        out += "z.number()";
        append_checks(ctx, node, number_checks, false, out);
      }
      return;
    }
    case JsonType::boolean:
      out += "z.boolean()";
      return;
    case JsonType::object: {
      const AliasGuardPause pause(ctx.types);
      out += "z.record(";
      append_map_keys(ctx, node, side, out);
      out += ", ";
      if (keys_by_pattern(*ctx.types.contract, node)) {
        append_zod(ctx, ctx.types.contract->pattern_values(node).front(), side, out);
      } else if (node.record == RecordValues::any) {
        out += "z.unknown()";
      } else if (node.record == RecordValues::schema) {
        append_zod(ctx, node.record_node, side, out);
      } else {
        out += "z.never()";
      }
      out += ')';
      append_checks(ctx, node, map_checks, true, out);
      return;
    }
    case JsonType::array: {
      const AliasGuardPause pause(ctx.types);
      // The tuple's shape bounds its length: no checks of minItems and maxItems follow.
      if (const std::optional<TupleShape> shape = tuple_shape(*ctx.types.contract, node)) {
        out += "z.tuple([";
        for (std::size_t i = 0; i < shape->places.size(); ++i) {
          if (i != 0) out += ", ";
          append_zod(ctx, shape->places[i], side, out);
          if (i >= shape->required) out += ".optional()";
        }
        out += ']';
        if (shape->rest != no_id) {
          out += ", ";
          append_zod(ctx, shape->rest, side, out);
        }
        out += ')';
        return;
      }
      out += "z.array(";
      if (node.items != no_id) {
        append_zod(ctx, node.items, side, out);
      } else {
        out += "z.unknown()";
      }
      out += ')';
      const bool set = ctx.types.contract->constraint(node, Atom::unique_items).is_true();
      append_checks(ctx, node, set ? set_checks : array_checks, true, out);
      return;
    }
    case JsonType::other:
      out += "z.unknown()";
      return;
  }
}

}  // namespace

void append_zod(ZodCtx& ctx, NodeId id, Side side, std::string& out) {
  const Contract& contract = *ctx.types.contract;
  const TypeNode& node = contract.node(id);
  // Only this node and its union's members may be deleted by a write; what they hold may not.
  const bool may_be_absent = std::exchange(ctx.may_be_absent, false);
  switch (node.form) {
    case TypeForm::firestore:
      ctx.may_be_absent = may_be_absent;
      append_firestore_zod(ctx, node, side, out);
      ctx.may_be_absent = false;
      return;
    case TypeForm::reference:
      append_reference_zod(ctx, node.ref_def, side, out);
      return;
    case TypeForm::literal:
      if (const Datum& constant = contract.extras_of(node).constant; constant.is_scalar()) {
        out += "z.literal(";
        append_literal(constant, out);
        out += ')';
        append_value_checks(ctx, node, out);
      } else {
        out += "z.unknown()";
      }
      return;
    case TypeForm::enumeration: {
      const std::span<const Datum> items = contract.enum_values(node);
      const bool open = side == Side::read && is_open_enum(items);
      if (open) out += "z.union([";
      append_literals(items, out);
      if (open) out += ", z.string()])";
      append_value_checks(ctx, node, out);
      return;
    }
    case TypeForm::alternatives:
      ctx.may_be_absent = may_be_absent;
      append_alternatives(ctx, node, side, out);
      ctx.may_be_absent = false;
      append_value_checks(ctx, node, out);
      return;
    case TypeForm::json: {
      const std::span<const TypeName> types = contract.types(node);
      if (!node.type_list) {
        append_json_zod(ctx, types.front().type, node, side, out);
        return;
      }
      append_union(
          types.size(),
          [&](std::size_t i, std::string& buffer) {
            append_json_zod(ctx, types[i].type, node, side, buffer);
          },
          out);
      return;
    }
    case TypeForm::unknown:
      out += "z.unknown()";
      return;
  }
}

// How a model treats keys it does not declare, from its `additionalProperties`, as Pydantic's
// `extra` writes it: true (allow) keeps them, false (forbid) refuses them, a schema keeps those
// its values pass, and none (ignore) drops them.
enum class Extra : std::uint8_t { ignore, allow, forbid, schema };

Extra extra_of(const Contract& contract, const TypeNode& node) {
  const Datum& extra = contract.constraint(node, Atom::additional_properties);
  if (extra.is_true()) return Extra::allow;
  if (extra.is_false()) return Extra::forbid;
  return node.record == RecordValues::schema ? Extra::schema : Extra::ignore;
}

constexpr std::array<std::string_view, 4> object_openers = {"z.object({", "z.looseObject({",
                                                            "z.strictObject({", "z.object({"};

// A key the write must not hold, refused with `message`.
void append_refused_key(std::string_view message, std::string& out) {
  std::string quoted;
  append_quoted(message, quoted);
  fill(out, "z.never({message}).optional(),\n", {{"message", quoted}});
}

namespace {

// The texts a document id field is one of: its constant, its `enum`, or its enumeration's
// members, where each is a text; empty for any other field (an id is always a text).
std::span<const Datum> id_texts(const Contract& contract, const TypeNode& node) {
  std::span<const Datum> values;
  if (node.has_constant) {
    values = std::span<const Datum>(&contract.extras_of(node).constant, 1);
  } else if (node.has_enum) {
    values = contract.enum_values(node);
  } else if (node.has_ref && node.ref_def != no_id &&
             contract.definitions[node.ref_def].kind == DefinitionKind::enumeration) {
    values = contract.members_of(contract.definitions[node.ref_def]);
  }
  const bool texts = std::all_of(values.begin(), values.end(),
                                 [](const Datum& value) { return value.is_string(); });
  return texts ? values : std::span<const Datum>();
}

}  // namespace

void append_model_zod(ZodCtx& ctx, const Definition& definition, Side side, std::string& out) {
  const Contract& contract = *ctx.types.contract;
  const TypeNode& model_node = contract.node(definition.node);
  const Extra extra = extra_of(contract, model_node);
  const bool own_keys = declares_inherited_name(contract, definition);
  if (own_keys) {
    out += "z.preprocess(ownKeys, ";
    use_helper(ctx, "ownKeys");
  }
  out += object_openers[static_cast<std::size_t>(extra)];
  const Writer writer = ctx.types.sdk == Sdk::admin ? Writer::server : Writer::client;
  bool empty = true;
  for (const Property& property : contract.properties_of(definition)) {
    contract.prefetch_key(property);
    const Presence presence = presence_of(definition, property, side, contract, writer);
    const bool document_id =
        definition.has_doc_id && property.key == contract.extras_of(definition).doc_id;
    // A read-only field the client may not write is refused by name, never dropped; the
    // document id is refused where the object would otherwise keep it as a field.
    const bool refused = presence == Presence::absent &&
                         (!document_id || extra == Extra::allow || extra == Extra::schema);
    // Elsewhere the write schema keeps the id, optional: a collection model stored inside another
    // document holds its id as a field there, which Pydantic reads back. The converter takes it
    // out of a document it writes before the schema sees it.
    const bool written_id = presence == Presence::absent && document_id && !refused;
    if (presence == Presence::absent && !refused && !written_id) continue;
    out += empty ? "\n  " : "  ";
    empty = false;
    append_object_key(property.key, "", out);
    out += ": ";
    if (refused) {
      std::string message;
      append_quoted(property.key, message);
      message += document_id ? " is the document id: it names the document and is not written"
                             : " is read-only: only the server writes it";
      append_refused_key(message, out);
      continue;
    }
    if (presence == Presence::document_id || written_id) {
      // The document id, which the converter fills in, held to its field's own checks where
      // the field is a string or one of some texts, as Pydantic holds it when it reads the id
      // into the field.
      const TypeNode& id_node = text_node(contract, property.node);
      if (const std::span<const Datum> texts = id_texts(contract, id_node); !texts.empty()) {
        append_literals(texts, out);
      } else if (id_node.form == TypeForm::json && contract.is_only(id_node, JsonType::string)) {
        append_string_zod(ctx, id_node, out);
      } else {
        out += "z.string()";
      }
      if (written_id) out += ".optional()";
      out += ",\n";
      continue;
    }
    ctx.may_be_absent = side == Side::write && presence == Presence::optional;
    append_zod(ctx, property.node, side, out);
    ctx.may_be_absent = false;
    if (presence == Presence::optional) out += ".optional()";
    out += ",\n";
  }
  out += "})";
  if (extra == Extra::schema) {
    out += ".catchall(";
    append_zod(ctx, model_node.record_node, side, out);
    out += ')';
  }
  if (own_keys) out += ')';
}

void append_enum_zod(std::span<const Datum> members, std::string& out) {
  append_literals(members, out);
}

std::span<const ZodHelper> zod_helpers() { return helper_table; }

bool carries_tag_values(const Contract& contract, const Definition& definition) {
  const std::span<const Property> properties = contract.properties_of(definition);
  return std::any_of(
             properties.begin(), properties.end(),
             [&](const Property& property) { return contract.node(property.node).has_constant; }) &&
         !declares_inherited_name(contract, definition);
}

}  // namespace brenvale
