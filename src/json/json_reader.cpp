// RapidJSON's SAX reader feeding the value tree, and its errors mapped to our descriptions.
#include "json/json_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// RapidJSON's own scans of whitespace and strings are left unused (its SSE2 ones read whole
// aligned blocks past a text's end): the reader's streams below bring theirs, which read
// nothing past the text.
#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include "util/byte_order.hpp"
#include "util/page_resource.hpp"
#include "util/spare_list.hpp"

namespace brenvale {

// A text read by the in-situ reader. `Writes`: strings are decoded over themselves, in the
// document's own copy of the text, and each is ended by a NUL where its closing quote was.
// Otherwise the text is one without escapes, read where it lies: each string would be written
// back over itself, so this stream writes nothing and only counts what would be written, and
// the reader hands over each string where it lies in the text, which stays as it was. A NUL
// byte must follow the text either way.
template <bool Writes>
struct TextStream {
  using Ch = char;
  explicit TextStream(std::string_view text)
      : src_(const_cast<Ch*>(text.data())), head_(src_), end_(src_ + text.size()) {}

  // RapidJSON calls the stream by these names.
  // NOLINTBEGIN(readability-identifier-naming)
  Ch Peek() const { return *src_; }
  Ch Take() { return *src_++; }
  std::size_t Tell() const { return static_cast<std::size_t>(src_ - head_); }
  Ch* PutBegin() { return dst_ = src_; }
  void Put(Ch c) {
    if constexpr (Writes) *dst_ = c;
    ++dst_;
  }
  void Flush() {}
  std::size_t PutEnd(const Ch* begin) const { return static_cast<std::size_t>(dst_ - begin); }
  // NOLINTEND(readability-identifier-naming)

  Ch* src_;
  Ch* head_;
  Ch* end_;  // where the text ends, at its NUL
  Ch* dst_ = nullptr;
};
using CopyStream = TextStream<true>;
using ReadOnlyStream = TextStream<false>;

// Which bytes of `word` end a string's plain run: a quote, a backslash or a control byte. Only
// the lowest byte flagged is sure to be one (a borrow may flag bytes above it).
constexpr std::uint64_t run_stops(std::uint64_t word) {
  constexpr std::uint64_t ones = 0x0101010101010101U;
  constexpr std::uint64_t highs = 0x8080808080808080U;
  const auto zero_bytes = [](std::uint64_t x) { return (x - ones) & ~x & highs; };
  const std::uint64_t controls = (word - ones * 0x20) & ~word & highs;
  return zero_bytes(word ^ (ones * '"')) | zero_bytes(word ^ (ones * '\\')) | controls;
}

#if defined(__SSE2__)
// Moves a stream that writes nothing past a string's plain run sixteen bytes at a time while
// sixteen remain in the text. True when it stopped at the run's end; false when fewer than
// sixteen bytes remain before it.
inline bool skip_plain_blocks(ReadOnlyStream& stream) {
  char* at = stream.src_;
  for (; stream.end_ - at >= 16; at += 16) {
    __m128i bytes;
    std::memcpy(&bytes, at, sizeof bytes);
    const __m128i controls =
        _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
    const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                                       controls);
    const auto found = static_cast<unsigned>(_mm_movemask_epi8(stops));
    if (found != 0) {
      at += std::countr_zero(found);
      stream.dst_ += at - stream.src_;
      stream.src_ = at;
      return true;
    }
  }
  stream.dst_ += at - stream.src_;
  stream.src_ = at;
  return false;
}
#endif

// Moves the stream past a string's plain run, eight bytes at a time while eight remain in the
// text: most strings (keys, type names) end within their first eight. A run is written only
// where an escape has already moved the string behind the place it is read from. A stream that
// writes nothing goes sixteen bytes at a time first, where it can.
template <bool Writes>
inline void skip_plain_run(TextStream<Writes>& stream) {
#if defined(__SSE2__)
  if constexpr (!Writes) {
    if (skip_plain_blocks(stream)) return;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    char* at = stream.src_;
    char* to = stream.dst_;
    const bool moved = Writes && to != at;
    for (; stream.end_ - at >= 8; at += 8, to += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, at, sizeof word);
      const std::uint64_t stops = run_stops(word);
      if (stops != 0) {
        const auto plain = static_cast<std::size_t>(std::countr_zero(stops) / 8);
        if (moved) std::memcpy(to, &word, plain);
        at += plain;
        to += plain;
        break;
      }
      if (moved) std::memcpy(to, &word, sizeof word);
    }
    stream.src_ = at;
    stream.dst_ = to;
  }
}

constexpr bool is_whitespace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Moves the stream past whitespace: sixteen bytes at a time with SSE2 while sixteen remain in
// the text, from wherever it stands (an indented text's runs, a line break and some spaces, are
// shorter than RapidJSON's way to an aligned address), then byte by byte. Inlined, as it runs
// before every token: out of line, it cost the chat example about 0.7 µs.
template <bool Writes>
[[gnu::always_inline]] inline void skip_whitespace(TextStream<Writes>& stream) {
  char* at = stream.src_;
  // Most tokens follow no whitespace, and most runs are a single space, after a colon or a
  // comma; the rest mostly start a line and its indent. Past a blank the NUL after the text is
  // still there to read.
  if (!is_whitespace(*at)) return;
  ++at;
  if (!is_whitespace(*at)) {
    stream.src_ = at;
    return;
  }
#if defined(__SSE2__)
  for (; stream.end_ - at >= 16; at += 16) {
    __m128i bytes;
    std::memcpy(&bytes, at, sizeof bytes);
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                                       _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
    const auto other = static_cast<unsigned>(~_mm_movemask_epi8(blank)) & 0xFFFFU;
    if (other != 0) {
      stream.src_ = at + std::countr_zero(other);
      return;
    }
  }
#endif
  while (is_whitespace(*at)) ++at;
  stream.src_ = at;
}

}  // namespace brenvale

namespace rapidjson {

// The stream may be copied while a token is read, as RapidJSON's own are.
template <bool Writes>
struct StreamTraits<brenvale::TextStream<Writes>> {
  enum { copyOptimization = 1 };
};

// The reader skips whitespace through these, before every token.
template <>
inline void SkipWhitespace(brenvale::CopyStream& is) {
  brenvale::skip_whitespace(is);
}
template <>
inline void SkipWhitespace(brenvale::ReadOnlyStream& is) {
  brenvale::skip_whitespace(is);
}

// A string's run: RapidJSON's own scan goes byte by byte (or, with SSE2, from an aligned
// address, which costs more than it saves on short strings); this one serves both streams.
// `is` and `os` are the same stream. The writing one is flattened: left to itself, GCC kept its
// run out of line, and the stress bundle's copy read about a quarter slower.
template <>
template <>
[[gnu::flatten]] inline void GenericReader<UTF8<>, UTF8<>, CrtAllocator>::ScanCopyUnescapedString(
    brenvale::CopyStream& is, brenvale::CopyStream& /*os*/) {
  brenvale::skip_plain_run(is);
}
template <>
template <>
inline void GenericReader<UTF8<>, UTF8<>, CrtAllocator>::ScanCopyUnescapedString(
    brenvale::ReadOnlyStream& is, brenvale::ReadOnlyStream& /*os*/) {
  brenvale::skip_plain_run(is);
}

}  // namespace rapidjson

namespace brenvale {
namespace {

// In-situ: strings are decoded in place in the document's own copy of the text, so the tree
// points into that copy instead of copying every string again.
constexpr unsigned parse_flags =
    rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseInsituFlag;

// True when the decimal number text overflows a double (as opposed to underflowing to zero).
bool overflows(std::string_view text) {
  std::size_t i = text[0] == '-' ? 1 : 0;
  long long point = 0;  // power of ten of the first significant digit, before the exponent
  bool seen_digit = false;
  bool after_dot = false;
  long long lead = 0;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      after_dot = true;
      continue;
    }
    if (!seen_digit && text[i] != '0') {
      seen_digit = true;
      point = lead;
    }
    if (!after_dot) ++lead;
    if (after_dot && !seen_digit) --lead;
  }
  if (!seen_digit) return false;  // zero, whatever its exponent
  --point;
  if (i < text.size()) {
    ++i;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
    long long exponent = 0;
    for (; i < text.size(); ++i) exponent = std::min(exponent * 10 + (text[i] - '0'), 1LL << 40);
    point += negative ? -exponent : exponent;
  }
  return point > 0;
}

// The first eight bytes of a key as one number, in the keys' byte order: zeros stand in for
// bytes past a shorter key's end.
std::uint64_t key_prefix(std::string_view key) {
  std::array<unsigned char, 8> bytes{};
  std::memcpy(bytes.data(), key.data(), std::min(key.size(), bytes.size()));
  std::uint64_t prefix = 0;
  for (const unsigned char byte : bytes) prefix = prefix << 8 | byte;
  return prefix;
}

// What sorting a large object reuses from one object to the next.
struct SortScratch {
  struct Rank {
    std::uint64_t prefix;  // key_prefix of the member's key
    std::uint32_t at;      // the member's place in the object
  };
  std::vector<Rank> ranks;
  std::vector<Member> sorted;
};

// Byte order of two members' keys: by their atoms' ranks where the reader classified both, which
// spares a comparison of two long keys of a schema (`x-firestore-...`).
inline bool key_less(const Member& a, const Member& b) {
  const Atom x = a.value.key_atom;
  const Atom y = b.value.key_atom;
  if (x != Atom::other && y != Atom::other) return rank_of(x) < rank_of(y);
  return byte_less(a.key, b.key);
}

// Are two members' keys the same? One atom is one text, and keys of two atoms differ.
inline bool same_key(const Member& a, const Member& b) {
  const Atom x = a.value.key_atom;
  if (x != b.value.key_atom) return false;
  return x != Atom::other || a.key == b.key;
}

// A stable sort, so the last of duplicate keys stays last. Schema objects are small, where
// insertion sort needs no buffer. A larger one (a model's properties) is ranked by each key's
// first eight bytes as one number, then by the whole key, then by place: most keys differ in
// their first eight bytes, so most comparisons are of two numbers. A huge one, rare, goes to
// std::stable_sort, so the scratch stays small.
void sort_members(std::vector<Member>::iterator first, std::vector<Member>::iterator last,
                  SortScratch& scratch) {
  constexpr std::ptrdiff_t insertion_limit = 24;
  constexpr std::ptrdiff_t ranked_limit = 4096;
  if (last - first > insertion_limit) {
    // Generators write large tables (`$defs`) sorted already: one look, no sort.
    if (std::is_sorted(first, last, key_less)) return;
    if (last - first > ranked_limit) {
      std::stable_sort(first, last, key_less);
      return;
    }
    const std::span<const Member> members(&*first, static_cast<std::size_t>(last - first));
    std::vector<SortScratch::Rank>& ranks = scratch.ranks;
    ranks.clear();
    for (std::size_t i = 0; i < members.size(); ++i)
      ranks.push_back({key_prefix(members[i].key), static_cast<std::uint32_t>(i)});
    std::sort(ranks.begin(), ranks.end(), [&members](const auto& a, const auto& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      const std::string_view x = members[a.at].key;
      const std::string_view y = members[b.at].key;
      return x != y ? byte_less(x, y) : a.at < b.at;
    });
    scratch.sorted.clear();
    for (const SortScratch::Rank& rank : ranks) scratch.sorted.push_back(members[rank.at]);
    std::copy(scratch.sorted.begin(), scratch.sorted.end(), first);
    return;
  }
  for (auto it = first + (first != last ? 1 : 0); it < last; ++it) {
    // Generators write most objects sorted: a member in place is left where it is, and one out
    // of place is compared only once with the member it passes first.
    if (!key_less(*it, *(it - 1))) continue;
    const Member moving = *it;
    auto hole = it - 1;
    *it = *hole;
    for (; hole != first && key_less(moving, *(hole - 1)); --hole) *hole = *(hole - 1);
    *hole = moving;
  }
}

// Room for a tree's nodes, taken from blocks of the document's arena by moving a pointer: a
// small text's read takes room for over a hundred containers, and each call through
// memory_resource was a virtual call into the library, which aligned each request anew.
class NodeBump {
 public:
  // `block`: the size of the first block, the arena's first buffer taken whole.
  NodeBump(std::pmr::memory_resource& arena, std::size_t block) : arena_(arena), block_(block) {}

  template <class T>
  T* take(std::size_t count) {
    // Every node type keeps the pointer aligned for every other.
    static_assert(alignof(T) <= granule && sizeof(T) % granule == 0);
    const std::size_t bytes = count * sizeof(T);
    if (bytes > static_cast<std::size_t>(end_ - next_)) [[unlikely]]
      refill(bytes);
    T* at = reinterpret_cast<T*>(next_);
    next_ += bytes;
    return at;
  }

 private:
  static constexpr std::size_t granule = alignof(std::max_align_t);

  void refill(std::size_t bytes) {
    const std::size_t size = std::max(bytes, block_);
    next_ = static_cast<char*>(arena_.allocate(size, granule));
    end_ = next_ + size;
    block_ = size + size / 2;
  }

  std::pmr::memory_resource& arena_;
  std::size_t block_;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

// Builds the tree from SAX events. Pending values sit on `stack_` until their container ends;
// then they move, sorted (objects) and contiguous, into the arena.
// RapidJSON's handler base answers the callbacks the builder never gets: numbers arrive as raw
// text (kParseNumbersAsStringsFlag).
class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
 public:
  // `escapes` says whether the text holds any \u escape; without one no string can hold a
  // surrogate, and the per-string check is skipped.
  // `entry_arena`: where the sink's first entry is built, when there is a sink.
  TreeBuilder(NodeBump& nodes, bool escapes, const EntrySink* sink,
              std::pmr::memory_resource* entry_arena)
      : nodes_(nodes), entry_arena_(entry_arena), sink_(sink), escapes_(escapes) {
    // The lists the thread's last text left, if any: a small text then allocates none.
    Lists& spare = spare_lists();
    stack_ = std::move(spare.stack);
    frames_ = std::move(spare.frames);
    sort_scratch_ = std::move(spare.sort_scratch);
    // Room for what a small text holds pending at once, so small texts never regrow these.
    constexpr std::size_t pending = 256;
    stack_.reserve(pending);
    frames_.reserve(max_depth);
  }
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;
  // The lists stay with the thread for its next text, unless a large text grew them.
  ~TreeBuilder() {
    Lists& spare = spare_lists();
    keep_spare(stack_, spare.stack);
    keep_spare(frames_, spare.frames);
    keep_spare(sort_scratch_.ranks, spare.sort_scratch.ranks);
    keep_spare(sort_scratch_.sorted, spare.sort_scratch.sorted);
  }

  // RapidJSON calls the handler by these names.
  // NOLINTBEGIN(readability-identifier-naming)
  bool Null() { return filled(slot()); }
  bool Bool(bool b) {
    Value& v = slot();
    v.kind = Kind::boolean;
    v.boolean = b;
    return filled(v);
  }
  bool RawNumber(const char* str, rapidjson::SizeType length, bool) {
    Value& v = slot();
    if (!read_number(std::string_view(str, length), v)) {
      stop_ = Stop::number_range;
      return false;
    }
    return filled(v);
  }
  bool String(const char* str, rapidjson::SizeType length, bool) {
    const char* chars = checked(str, length);
    if (chars == nullptr) return false;
    Value& v = slot();
    v.kind = Kind::string;
    v.size = length;
    v.chars = chars;
    if (names_words(key_atom_)) [[unlikely]]
      v.word = word_of(std::string_view(str, length));
    return filled(v);
  }
  bool Key(const char* str, rapidjson::SizeType length, bool) {
    const char* chars = checked(str, length);
    if (chars == nullptr) return false;
    key_ = std::string_view(chars, length);
    key_atom_ = atom_of(key_);
    if (sink_ != nullptr && key_atom_ == sink_->table && frames_.size() == 1 && frames_[0].object)
      ++table_keys_;
    return true;
  }
  bool StartObject() { return open(true); }
  bool StartArray() { return open(false); }
  bool EndObject(rapidjson::SizeType) {
    ++objects_;
    const Frame frame = frames_.back();
    auto first = stack_.begin() + static_cast<std::ptrdiff_t>(frame.start);
    sort_members(first, stack_.end(), sort_scratch_);
    // Duplicate keys are rare: members move only from the first one on, the last of each kept.
    auto kept = std::adjacent_find(first, stack_.end(), same_key);
    for (auto it = kept; it != stack_.end(); ++it) {
      if (it + 1 != stack_.end() && same_key(*(it + 1), *it)) continue;
      *kept++ = *it;
    }
    const auto count = static_cast<std::size_t>(kept - first);
    auto* members = allocate<Member>(count);
    std::uninitialized_copy(first, kept, members);
    Value& v = close(frame);
    v.kind = Kind::object;
    v.size = static_cast<std::uint32_t>(count);
    v.members = members;
    return filled(v);
  }
  bool EndArray(rapidjson::SizeType) {
    const Frame frame = frames_.back();
    const std::size_t count = stack_.size() - frame.start;
    auto* items = allocate<Value>(count);
    for (std::size_t i = 0; i < count; ++i) new (&items[i]) Value(stack_[frame.start + i].value);
    Value& v = close(frame);
    v.kind = Kind::array;
    v.size = static_cast<std::uint32_t>(count);
    v.items = items;
    return filled(v);
  }
  // NOLINTEND(readability-identifier-naming)

  ReaderState state() const {
    return {frames_.size(), !frames_.empty() && frames_.back().object, stop_};
  }
  Value root() const { return stack_.empty() ? Value() : stack_.front().value; }
  std::size_t objects() const { return objects_; }
  std::size_t handed_over() const { return handed_over_; }
  std::size_t table_keys() const { return table_keys_; }

 private:
  struct Frame {
    std::size_t start;
    std::string_view key;  // the key under which the finished container is stored
    Atom key_atom;
    bool object;
  };
  // What a thread's reads keep from one text to the next. Each reader takes the lists while it
  // reads (another read on the thread meanwhile starts with none), then gives them back.
  struct Lists {
    std::vector<Member> stack;
    std::vector<Frame> frames;
    SortScratch sort_scratch;
  };
  // Out of line: inlined, GCC asks the thread's address again after each call that follows.
  [[gnu::noinline]] static Lists& spare_lists() {
    thread_local Lists lists;
    return lists;
  }

  // Room for `count` nodes of type T. An entry of the sink's object is built in the arena the
  // sink gave for it.
  template <class T>
  T* allocate(std::size_t count) {
    if (frames_.size() > entry_depth_) [[unlikely]]
      return static_cast<T*>(entry_arena_->allocate(count * sizeof(T), alignof(T)));
    return nodes_.take<T>(count);
  }

  // Where the next finished value goes, written in place: a value built aside and then copied
  // in is read back in wide loads of the narrow stores just made, which stalls the copy.
  Value& slot() {
    if (frames_.size() == entry_depth_) [[unlikely]] {
      entry_ = Value();
      entry_.key_atom = key_atom_;
      return entry_;
    }
    Member& member = stack_.emplace_back();
    member.key = key_;
    member.value.key_atom = key_atom_;
    return member.value;
  }
  // An entry of the sink's object, once its slot is filled, goes to the sink.
  bool filled(const Value& v) {
    if (&v != &entry_) [[likely]]
      return true;
    entry_arena_ = &sink_->take(sink_->context, Member{key_, v});
    ++handed_over_;
    return true;
  }
  bool open(bool object) {
    if (frames_.size() == max_depth) {
      stop_ = Stop::depth;
      return false;
    }
    frames_.push_back(Frame{stack_.size(), key_, key_atom_, object});
    // The sink's object, right under the root object, opens: its values are entries.
    if (frames_.size() == 2 && object && frames_[0].object && sink_ != nullptr &&
        key_atom_ == sink_->table)
      entry_depth_ = 2;
    return true;
  }
  // Ends the innermost container: the slot its value goes to.
  Value& close(const Frame& frame) {
    stack_.resize(frame.start);
    frames_.pop_back();
    if (frames_.size() == 1) entry_depth_ = no_depth;
    key_ = frame.key;
    key_atom_ = frame.key_atom;
    return slot();
  }

  // Strings are decoded in place, in the document's copy of the text; only a text holding some
  // \u escape can decode into a surrogate.
  const char* checked(const char* str, std::size_t length) {
    if (!escapes_ || !holds_surrogate(std::string_view(str, length))) return str;
    stop_ = Stop::surrogate;
    return nullptr;
  }

  NodeBump& nodes_;
  std::pmr::memory_resource* entry_arena_;
  const EntrySink* sink_;
  std::size_t handed_over_ = 0;
  std::size_t table_keys_ = 0;
  std::size_t objects_ = 0;
  std::vector<Member> stack_;
  SortScratch sort_scratch_;
  Value entry_;  // an entry of the sink's object, on its way to the sink
  std::vector<Frame> frames_;
  // The depth whose values are entries of the sink's object while that is open, else no_depth:
  // asked of every value, so kept as the frames change rather than read off them.
  static constexpr std::size_t no_depth = std::numeric_limits<std::size_t>::max();
  std::size_t entry_depth_ = no_depth;
  std::string_view key_;
  Atom key_atom_ = Atom::other;
  bool escapes_;
  Stop stop_ = Stop::none;
};

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

using Error = ParseErrorKind;

// Byte offset and kind of an error. `end` counts the bytes consumed up to and
// including the byte where the reader stopped.
struct Located {
  Error kind;
  std::size_t end;
};

Located locate(std::string_view text, rapidjson::ParseErrorCode code, std::size_t offset,
               const ReaderState& state) {
  const std::size_t n = text.size();
  const auto at_end = [&](std::size_t p) { return p >= n; };
  const auto eof_in_container = [&]() {
    if (state.depth == 0) return Error::eof_value;
    return state.in_object ? Error::eof_object : Error::eof_list;
  };
  const auto previous_significant = [&](std::size_t p) {
    while (p > 0) {
      const char c = text[--p];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return c;
    }
    return '\0';
  };
  // A number error is reported at the number's last byte.
  const auto number_end = [&](std::size_t p) {
    while (p < n && std::strchr("0123456789+-.eE", text[p]) != nullptr && text[p] != '\0') ++p;
    return p;
  };
  using namespace rapidjson;
  switch (code) {
    case kParseErrorDocumentEmpty:
      if (at_end(offset)) return {Error::eof_value, n};
      return {Error::expected_value, offset + 1};  // a NUL byte where the value should start
    case kParseErrorDocumentRootNotSingular:
      return {Error::trailing_characters, offset + 1};
    case kParseErrorValueInvalid: {
      if (at_end(offset)) return {eof_in_container(), n};
      std::size_t start = offset;
      while (start > 0 && text[start - 1] >= 'a' && text[start - 1] <= 'z') --start;
      const std::string_view word = text.substr(start, offset - start);
      for (std::string_view ident : {"true", "false", "null"}) {
        if (!word.empty() && ident.starts_with(word)) return {Error::expected_ident, offset + 1};
      }
      if (offset > 0 && text[offset - 1] == '-') return {Error::invalid_number, offset + 1};
      if (text[offset] == ']' && previous_significant(offset) == ',')
        return {Error::trailing_comma, offset + 1};
      return {Error::expected_value, offset + 1};
    }
    case kParseErrorObjectMissName:
      if (at_end(offset)) return {eof_in_container(), n};
      if (text[offset] == '}' && previous_significant(offset) == ',')
        return {Error::trailing_comma, offset + 1};
      return {Error::key_not_string, offset + 1};
    case kParseErrorObjectMissColon:
      if (at_end(offset)) return {eof_in_container(), n};
      return {Error::expected_colon, offset + 1};
    case kParseErrorObjectMissCommaOrCurlyBracket:
      if (at_end(offset)) return {eof_in_container(), n};
      return {Error::expected_comma_or_brace, offset + 1};
    case kParseErrorArrayMissCommaOrSquareBracket:
      if (at_end(offset)) return {eof_in_container(), n};
      return {Error::expected_comma_or_bracket, offset + 1};
    case kParseErrorStringMissQuotationMark:
      // The reader takes a NUL byte for the end of the text; inside the text it is a raw
      // control character.
      if (at_end(offset)) return {Error::eof_string, n};
      return {Error::control_character, offset + 1};
    case kParseErrorStringEscapeInvalid:
      if (at_end(offset)) return {Error::eof_string, n};
      if (static_cast<unsigned char>(text[offset]) < 0x20)
        return {Error::control_character, offset + 1};
      if (at_end(offset + 1)) return {Error::eof_string, n};
      return {Error::invalid_escape, offset + 2};
    case kParseErrorStringUnicodeEscapeInvalidHex: {
      // offset is the backslash of the \u escape that holds the bad digit; find the digit.
      std::size_t p = offset + 2;
      while (p < n && p < offset + 6 && is_hex(text[p])) ++p;
      if (p == offset + 6) {  // the first escape was fine: the trouble is in the second one
        p += 2;
        while (p < n && is_hex(text[p])) ++p;
      }
      if (at_end(p)) return {Error::eof_string, n};
      return {Error::invalid_escape, p + 1};
    }
    case kParseErrorStringUnicodeSurrogateInvalid: {
      const std::size_t next = offset + 6;
      if (at_end(next)) return {Error::eof_string, n};
      if (text.substr(next, 2) != "\\u") return {Error::end_of_hex_escape, next + 1};
      return {Error::lone_surrogate, std::min(next + 6, n)};
    }
    case kParseErrorNumberMissFraction:
    case kParseErrorNumberMissExponent:
      if (at_end(offset)) return {eof_in_container(), n};
      return {Error::invalid_number, offset + 1};
    case kParseErrorNumberTooBig:
      return {Error::number_out_of_range, number_end(offset)};
    case kParseErrorTermination:
      switch (state.stop) {
        case Stop::depth:
          return {Error::too_deep, offset};
        case Stop::number_range:
          return {Error::number_out_of_range, number_end(offset)};
        case Stop::surrogate:
          return {Error::lone_surrogate, offset};
        case Stop::none:
        case Stop::handler:
          break;
      }
      return {Error::expected_value, offset + 1};
    default:
      return {Error::expected_value, std::min(offset + 1, n)};
  }
}

ParseError position(std::string_view text, Located located) {
  const std::size_t end = std::min(located.end, text.size());
  const std::string_view consumed = text.substr(0, end);
  const std::size_t lines =
      static_cast<std::size_t>(std::count(consumed.begin(), consumed.end(), '\n'));
  const std::size_t last_newline = consumed.rfind('\n');
  const std::size_t line_start = last_newline == std::string_view::npos ? 0 : last_newline + 1;
  return ParseError{located.kind, lines + 1, end - line_start};
}

// True when the number starting at `at` has a mantissa of zeros only ("0", "-0.00").
bool zero_mantissa_at(std::string_view text, std::size_t at) {
  if (at < text.size() && text[at] == '-') ++at;
  for (; at < text.size() && text[at] != 'e' && text[at] != 'E'; ++at) {
    if (text[at] != '0' && text[at] != '.') return false;
  }
  return true;
}

}  // namespace

std::string zero_exponents_of_zeros(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    if (out[i] == '"') {
      for (++i; i < out.size() && out[i] != '"'; ++i) i += out[i] == '\\' ? 1 : 0;
      ++i;
      continue;
    }
    if (out[i] != '-' && (out[i] < '0' || out[i] > '9')) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < out.size() && std::strchr("0123456789-.", out[i]) != nullptr && out[i] != '\0') ++i;
    if (i < out.size() && (out[i] == 'e' || out[i] == 'E') && zero_mantissa_at(out, start)) {
      for (++i; i < out.size() && std::strchr("0123456789+-", out[i]) != nullptr && out[i] != '\0';
           ++i) {
        if (out[i] >= '1' && out[i] <= '9') out[i] = '0';
      }
    }
  }
  return out;
}

ParseError describe_parse_error(std::string_view text, int code, std::size_t offset,
                                ReaderState state) {
  return position(text, locate(text, static_cast<rapidjson::ParseErrorCode>(code), offset, state));
}

namespace {

// Sixty-four bytes of the text at a time, into `scan`; returns where the blocks ended, or stops
// at the first block holding a late control byte. Without SSE2 the caller's byte loop does it all.
std::size_t scan_blocks(std::string_view text, TextScan& scan) {
  constexpr std::size_t block = 64;
  std::size_t at = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; at + block <= text.size(); at += block) {
    __m128i controls = zero;
    __m128i backslashes = zero;
    __m128i braces = zero;  // per lane, at most 4
    for (std::size_t i = 0; i < block; i += 16) {
      __m128i bytes;
      std::memcpy(&bytes, text.data() + at + i, 16);
      // b - 0x1A <= 5, unsigned: 0x1A <= b <= 0x1F.
      const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(0x1A));
      controls =
          _mm_or_si128(controls, _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(5)), shifted));
      backslashes = _mm_or_si128(backslashes, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
      braces = _mm_sub_epi8(braces, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('{')));
    }
    const __m128i sums = _mm_sad_epu8(braces, zero);  // two sums of eight lanes
    scan.braces += static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
                   static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    scan.backslash = scan.backslash || _mm_movemask_epi8(backslashes) != 0;
    if (_mm_movemask_epi8(controls) != 0) {
      scan.late_control = true;
      return at;
    }
  }
#endif
  return at;
}

}  // namespace

TextScan scan_text(std::string_view text) {
  TextScan scan;
  std::size_t at = scan_blocks(text, scan);
  for (; !scan.late_control && at < text.size(); ++at) {
    scan.backslash = scan.backslash || text[at] == '\\';
    scan.braces += text[at] == '{' ? 1 : 0;
    scan.late_control = static_cast<unsigned char>(text[at] - 0x1A) < 6;
  }
  return scan;
}

std::string with_late_controls_lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c - 0x1A) < 6) c = '\x01';
  }
  return out;
}

ParseError trailing_characters(std::string_view text, std::size_t consumed) {
  return position(text, Located{Error::trailing_characters, consumed + 1});
}

bool is_zero_out_of_range(std::string_view text, int code, std::size_t offset) {
  return code == rapidjson::kParseErrorNumberTooBig && zero_mantissa_at(text, offset);
}

bool holds_surrogate(std::string_view text) {
  for (std::size_t at = text.find('\xED'); at != std::string_view::npos;
       at = text.find('\xED', at + 1)) {
    if (at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) >= 0xA0) return true;
  }
  return false;
}

bool read_number(std::string_view text, Value& v) {
  const char* first = text.data();
  const char* last = first + text.size();
  // A loop: find_first_of would call memchr on the three bytes for each digit.
  const bool integral = std::none_of(text.begin(), text.end(),
                                     [](char c) { return c == '.' || c == 'e' || c == 'E'; });
  if (integral) {
    if (text == "-0") {
      v.kind = Kind::float64;
      v.float64 = -0.0;
      return true;
    }
    if (text[0] == '-') {
      if (std::from_chars(first, last, v.int64).ec == std::errc()) {
        v.kind = Kind::int64;
        return true;
      }
    } else if (std::from_chars(first, last, v.uint64).ec == std::errc()) {
      v.kind = v.uint64 <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? Kind::int64
                   : Kind::uint64;
      return true;
    }
  }
  v.kind = Kind::float64;
  const auto result = std::from_chars(first, last, v.float64);
  if (result.ec == std::errc::result_out_of_range) {
    if (overflows(text)) return false;
    v.float64 = text[0] == '-' ? -0.0 : 0.0;  // underflow rounds to zero
  }
  return true;
}

namespace {

// What the reader refused, and where it stood then.
struct Refusal {
  rapidjson::ParseResult parsed;
  ReaderState state;
};

// Reads `stream`, the text or the copy of it, into `result`.
template <class Stream>
Refusal read_tree(std::string_view text, Stream& stream, TreeBuilder& builder,
                  ParseResult& result) {
  rapidjson::Reader reader;
  const rapidjson::ParseResult parsed = reader.Parse<parse_flags>(stream, builder);
  if (parsed.IsError()) return {parsed, builder.state()};
  // The reader stops at a NUL byte as if the text had ended there.
  if (stream.Tell() != text.size()) {
    result.error = trailing_characters(text, stream.Tell());
    return {};
  }
  result.document.root = builder.root();
  result.document.objects = builder.objects();
  result.document.handed_over = builder.handed_over();
  result.document.table_keys = builder.table_keys();
  result.ok = true;
  return {};
}

// `in_place`: `text` outlives the document and a NUL byte follows it.
ParseResult parse_json(std::string_view text, const EntrySink* sink, bool zeros_rewritten,
                       bool in_place) {
  // Errors are told from the text as given: a lowered control byte is one all the same. A text
  // that holds one never parses, so it is looked for only once the reader refused the text;
  // only a sink, which wants the object count first, has the text scanned before it is read.
  TextScan scan;
  if (sink != nullptr) {
    scan = scan_text(text);
    if (scan.late_control)
      return parse_json(with_late_controls_lowered(text), sink, zeros_rewritten, false);
  } else {
    scan.backslash = text.find('\\') != std::string_view::npos;
  }
  std::pmr::memory_resource* entry_arena =
      sink != nullptr ? &sink->begin(sink->context, scan.braces) : nullptr;
  ParseResult result;
  Refusal refusal;
  try {
    // One block sized from the text holds the nodes for usual texts, another the copy, unless
    // there is none; pages that stay untouched cost nothing.
    const std::size_t nodes_block = text.size() * 2 + 4096;
    result.document.arena =
        std::make_unique<std::pmr::monotonic_buffer_resource>(nodes_block, &large_page_resource());
    NodeBump nodes(*result.document.arena, nodes_block);
    result.document.strings_verbatim = !scan.backslash;
    if (in_place && !scan.backslash) {
      result.document.copy = text;
      ReadOnlyStream stream(text);
      TreeBuilder builder(nodes, false, sink, entry_arena);
      refusal = read_tree(text, stream, builder, result);
    } else {
      result.document.text = std::make_unique<std::pmr::monotonic_buffer_resource>(
          text.size() + 1, &large_page_resource());
      auto* own = static_cast<char*>(result.document.text->allocate(text.size() + 1, 1));
      std::memcpy(own, text.data(), text.size());
      own[text.size()] = '\0';
      result.document.copy = std::string_view(own, text.size());
      CopyStream stream(result.document.copy);
      TreeBuilder builder(nodes, scan.backslash && text.find("\\u") != std::string_view::npos, sink,
                          entry_arena);
      refusal = read_tree(text, stream, builder, result);
    }
  } catch (...) {
    // Out of memory, most likely: the entries handed over lie in the copy, which goes with
    // `result` as the exception leaves; whoever still reads them stops first.
    if (sink != nullptr && sink->stop != nullptr) sink->stop(sink->context);
    throw;
  }
  if (!result.ok && sink == nullptr && scan_text(text).late_control)
    return parse_json(with_late_controls_lowered(text), sink, zeros_rewritten, false);
  const rapidjson::ParseResult& parsed = refusal.parsed;
  if (parsed.IsError()) {
    // RapidJSON refuses an exponent past 308 even on zero, whose value is still 0.
    if (!zeros_rewritten && is_zero_out_of_range(text, parsed.Code(), parsed.Offset())) {
      return parse_json(zero_exponents_of_zeros(text), sink, true, false);
    }
    result.error = describe_parse_error(text, parsed.Code(), parsed.Offset(), refusal.state);
  }
  return result;
}

}  // namespace

ParseResult parse_json(std::string_view text, const EntrySink* sink) {
  return parse_json(text, sink, false, false);
}

ParseResult parse_json_in_place(std::string_view text, const EntrySink* sink) {
  return parse_json(text, sink, false, true);
}

}  // namespace brenvale
