// Fuzz target: diff and findings report of two bundles, the input split at its first NUL byte.
#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "json/json_reader.hpp"
#include "utf8.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

namespace {

std::string compat_text(const Value& old_bundle, const Value& new_bundle) {
  const std::vector<compat::Finding> findings = compat::diff(old_bundle, new_bundle);
  for (const compat::Finding& finding : findings) {
    require(
        finding.verdict == compat::Verdict::safe || finding.verdict == compat::Verdict::breaking,
        "finding with a verdict outside SAFE and BREAKING");
  }
  return compat::findings_json(findings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Python only ever hands over UTF-8; the reader target covers the rest.
  if (!is_valid_utf8(input)) return 0;
  // No valid JSON text holds a raw NUL, so it is a free separator. Without one, old and new are
  // the same text.
  const std::size_t split = input.find('\0');
  const bool same = split == std::string_view::npos;
  const std::string old_text(input.substr(0, split));
  const std::string new_text(same ? input : input.substr(split + 1));
  const ParseResult old_bundle = parse_json(old_text);
  const ParseResult new_bundle = parse_json(new_text);
  if (!old_bundle.ok || !new_bundle.ok) return 0;
  const std::string first = compat_text(old_bundle.document.root, new_bundle.document.root);
  require(is_valid_utf8(first), "compat output is not UTF-8");
  require(first == compat_text(old_bundle.document.root, new_bundle.document.root),
          "compat differs between two runs");
  if (same) require(first == "[]", "a bundle compared with itself has findings");
  const ParseResult report = parse_json(first);
  require(report.ok && report.document.root.is_array(), "compat output is not a JSON array");
  return 0;
}
