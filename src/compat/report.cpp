// Findings -> the compact JSON array text: members in key order, strings through one escaper.
#include "compat/report.hpp"

#include <cstddef>
#include <string>
#include <string_view>

namespace brenvale::compat {

namespace {

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

// Index of the first byte at or after `from` that needs an escape, or text.size().
std::size_t find_escape(std::string_view text, std::size_t from) {
  while (from < text.size() && !needs_escape(static_cast<unsigned char>(text[from]))) ++from;
  return from;
}

void write_escape(std::string& out, unsigned char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\r':
      out += "\\r";
      return;
    default: {
      constexpr std::string_view hex = "0123456789abcdef";
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 0xf];
    }
  }
}

// Non-ASCII bytes and "/" pass through unchanged: the text stays UTF-8.
void write_json_string(std::string& out, std::string_view text) {
  out += '"';
  std::size_t start = 0;
  while (true) {
    const std::size_t stop = find_escape(text, start);
    out.append(text, start, stop - start);
    if (stop == text.size()) break;
    write_escape(out, static_cast<unsigned char>(text[stop]));
    start = stop + 1;
  }
  out += '"';
}

// Keys, quotes, verdict and comma of one finding (56 bytes at most); escapes may still grow it.
constexpr std::size_t finding_overhead = 64;

std::size_t estimated_size(const std::vector<Finding>& findings, std::size_t extra) {
  std::size_t size = 2;
  for (const Finding& finding : findings) {
    size += finding_overhead + extra + finding.def.size() + finding.field.size() +
            finding.old_value.size() + finding.new_value.size() + 48;
  }
  return size;
}

// One finding's members in key order, those of the rule set with them when `rules`.
void write_finding(std::string& out, const Finding& finding, Mode mode, bool rules,
                   std::string& message) {
  const RuleInfo& info = rule_info(finding.rule);
  out += "{\"def\":";
  write_json_string(out, finding.def);
  if (rules) {
    out += ",\"direction\":\"";
    append_directions(finding.directions, out);  // names and "+": nothing to escape
    out += '"';
  }
  out += ",\"field\":";
  if (finding.has_field) {
    write_json_string(out, finding.field);
  } else {
    out += "null";
  }
  out += ",\"message\":";
  message.clear();
  append_message(finding, message);
  write_json_string(out, message);
  if (rules) {
    out += ",\"rule\":\"";
    out += info.id;  // kebab-case, nothing to escape
    out += '"';
  }
  out += verdict_of(finding, mode) == Verdict::safe ? ",\"verdict\":\"SAFE\"}"
                                                    : ",\"verdict\":\"BREAKING\"}";
}

}  // namespace

std::string findings_json(const std::vector<Finding>& findings) {
  std::string out;
  out.reserve(estimated_size(findings, 0));
  std::string message;
  out += '[';
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i != 0) out += ',';
    // The diff's findings carry their rule's own verdict, which the full mode keeps.
    write_finding(out, findings[i], Mode::full, false, message);
  }
  out += ']';
  return out;
}

bool rule_findings_json(const std::vector<Finding>& findings, Mode mode, InterruptCheck interrupted,
                        std::string& out) {
  out.reserve(out.size() + estimated_size(findings, 64));
  std::string message;
  out += '[';
  for (std::size_t i = 0; i < findings.size(); ++i) {
    // The text can run to gigabytes when a wide enum changed under many properties.
    if (i % 4096 == 4095 && interrupted != nullptr && interrupted()) return false;
    if (i != 0) out += ',';
    write_finding(out, findings[i], mode, true, message);
  }
  out += ']';
  return true;
}

}  // namespace brenvale::compat
