// The path functions of collection models: their names, parameters and template text.
#include "typescript/path_function.hpp"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "text/escape.hpp"
#include "text/fill.hpp"
#include "text/identifier.hpp"

namespace brenvale {
namespace {

bool is_placeholder(std::string_view segment) {
  return segment.size() >= 2 && segment.front() == '{' && segment.back() == '}';
}

// Where `segment`, a part of `collection`, ends in it.
std::size_t end_of(std::string_view segment, std::string_view collection) {
  return static_cast<std::size_t>(segment.data() - collection.data()) + segment.size();
}

// Calls `visit` on each "/"-separated segment of `collection`, in order; it returns false to
// stop. A path is walked where it lies: no list of its segments is built.
template <class Visit>
void for_each_segment(std::string_view collection, Visit&& visit) {
  for (std::size_t start = 0;;) {
    const std::size_t slash = collection.find('/', start);
    if (!visit(collection.substr(start, slash - start)) || slash == std::string_view::npos) return;
    start = slash + 1;
  }
}

// Where the name segment ends: the last segment that is empty or no placeholder; npos when
// every one is a placeholder.
std::size_t name_segment_end(std::string_view collection) {
  std::size_t end = std::string_view::npos;
  for_each_segment(collection, [&](std::string_view segment) {
    if (segment.empty() || segment.front() != '{') end = end_of(segment, collection);
    return true;
  });
  return end;
}

// "{name segment}Path", or, qualified, the literal segments up to the name segment joined by
// "_" and followed by "Path"; lower_first applied and made a safe identifier either way.
std::string path_function_base(std::string_view collection, bool qualified) {
  const std::size_t named_end = name_segment_end(collection);
  std::string text;
  if (named_end == std::string_view::npos) {
    text = "doc";
  } else {
    for_each_segment(collection, [&](std::string_view segment) {
      const bool named = end_of(segment, collection) == named_end;
      if (!qualified && !named) return true;
      if (!qualified) {
        text = segment;
      } else if (!segment.empty() && segment.front() != '{') {
        if (!text.empty()) text += '_';
        text += segment;
      }
      return !named;
    });
  }
  std::string name;
  append_lowered_name(text, "Path", name);
  return name;
}

}  // namespace

PathParts path_parts(std::string_view collection) {
  PathParts parts;
  // A path has a few placeholders: the parameters given are looked through one by one, and
  // only a path with many gets a set, which keeps a long one linear.
  constexpr std::size_t looked_through = 8;
  std::unordered_set<std::string> used;
  const auto take = [&](const std::string& parameter) {  // true when `parameter` is free
    if (parts.parameters.size() < looked_through) {
      return std::find(parts.parameters.begin(), parts.parameters.end(), parameter) ==
             parts.parameters.end();
    }
    if (used.empty()) used.insert(parts.parameters.begin(), parts.parameters.end());
    return used.insert(parameter).second;
  };
  std::unordered_map<std::string, std::size_t> next_suffix;
  // Each placeholder "{p}" becomes "${p}" (escapes aside): room for the path in one block.
  parts.path.reserve(collection.size() + collection.size() / 2 + 1);
  parts.parameters.reserve(
      static_cast<std::size_t>(std::count(collection.begin(), collection.end(), '{')));
  for_each_segment(collection, [&](std::string_view segment) {
    parts.path += '/';
    if (is_placeholder(segment)) {
      const std::string base = safe_identifier(segment.substr(1, segment.size() - 2), true);
      std::string parameter = base;
      if (!take(parameter)) {
        std::size_t& k = next_suffix[base];
        do {
          parameter = base + '_' + std::to_string(k = std::max<std::size_t>(k, 2));
          ++k;
        } while (!take(parameter));
      }
      fill(parts.path, "${{parameter}}", {{"parameter", parameter}});
      parts.parameters.push_back(std::move(parameter));
    } else {
      append_template_text(segment, parts.path);
    }
    return true;
  });
  return parts;
}

std::vector<std::string> path_function_names(const std::vector<std::string_view>& collections,
                                             NameTable& names) {
  std::vector<std::string> bases;
  bases.reserve(collections.size());
  for (const std::string_view collection : collections)
    bases.push_back(path_function_base(collection, false));
  std::vector<std::string> sorted = bases;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> result;
  result.reserve(collections.size());
  for (std::size_t i = 0; i < collections.size(); ++i) {
    const auto [low, high] = std::equal_range(sorted.begin(), sorted.end(), bases[i]);
    const bool shared_name = high - low > 1;
    result.push_back(
        names.claim(shared_name ? path_function_base(collections[i], true) : bases[i]));
  }
  return result;
}

}  // namespace brenvale
