// Findings -> the compact JSON array text: members in key order, strings through one escaper.
#include "compat/report.hpp"

#include <cstddef>
#include <optional>
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

void write_json_string_or_null(std::string& out, const std::optional<std::string>& text) {
  if (text) {
    write_json_string(out, *text);
  } else {
    out += "null";
  }
}

void write_finding(std::string& out, const Finding& finding) {
  out += "{\"def\":";
  write_json_string(out, finding.def);
  out += ",\"field\":";
  write_json_string_or_null(out, finding.field);
  out += ",\"message\":";
  write_json_string(out, finding.message);
  out += finding.verdict == Verdict::safe ? ",\"verdict\":\"SAFE\"}" : ",\"verdict\":\"BREAKING\"}";
}

// Keys, quotes, verdict and comma of one finding (56 bytes at most); escapes may still grow it.
constexpr std::size_t finding_overhead = 64;

}  // namespace

std::string findings_json(const std::vector<Finding>& findings) {
  std::size_t size = 2;
  for (const Finding& finding : findings) {
    size += finding_overhead + finding.def.size() + finding.message.size() +
            (finding.field ? finding.field->size() : 0);
  }
  std::string out;
  out.reserve(size);
  out += '[';
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i != 0) out += ',';
    write_finding(out, findings[i]);
  }
  out += ']';
  return out;
}

bool rule_findings_json(const std::vector<RuleFinding>& findings, InterruptCheck interrupted,
                        std::string& out) {
  std::size_t size = 2;
  for (const RuleFinding& entry : findings) {
    const Finding& finding = entry.finding;
    size += finding_overhead + 48 + finding.def.size() + finding.message.size() +
            (finding.field ? finding.field->size() : 0);
  }
  out.reserve(out.size() + size);
  out += '[';
  for (std::size_t i = 0; i < findings.size(); ++i) {
    // The text can run to gigabytes when a wide enum changed under many properties.
    if (i % 4096 == 4095 && interrupted != nullptr && interrupted()) return false;
    if (i != 0) out += ',';
    const RuleFinding& entry = findings[i];
    const Finding& finding = entry.finding;
    out += "{\"def\":";
    write_json_string(out, finding.def);
    out += ",\"direction\":\"";
    out += direction_name(entry.direction);
    out += "\",\"field\":";
    write_json_string_or_null(out, finding.field);
    out += ",\"message\":";
    write_json_string(out, finding.message);
    out += ",\"rule\":\"";
    out += entry.rule;  // kebab-case, nothing to escape
    out += finding.verdict == Verdict::safe ? "\",\"verdict\":\"SAFE\"}"
                                            : "\",\"verdict\":\"BREAKING\"}";
  }
  out += ']';
  return true;
}

}  // namespace brenvale::compat
