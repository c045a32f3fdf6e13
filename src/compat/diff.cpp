// Two contract models -> ordered findings, by linear merges over definition and property names.
#include "compat/diff.hpp"

#include <algorithm>
#include <chrono>
#include <future>

#include "compat/merge_keys.hpp"
#include "compat/type_order.hpp"
#include "compat/type_signature.hpp"
#include "util/byte_order.hpp"
#include "util/own_thread.hpp"

namespace brenvale::compat {
namespace {

constexpr std::string_view none_text = "(none)";

std::string_view name_of(const Definition& definition) { return definition.name; }
std::string_view key_of(const Property& property) { return property.key; }

bool is_enumeration(const Definition* definition) {
  return definition != nullptr && definition->kind == DefinitionKind::enumeration;
}

// Does a `$ref` to `name`, which names an enumeration in either model, read alike in both?
bool enumeration_reads_alike(const Contract& old_contract, const Contract& new_contract,
                             std::string_view name) {
  return reference_signature(old_contract, name) == reference_signature(new_contract, name);
}

// Does a `$ref` to the same name read alike in both models (`a` old, `b` new)? It reads as the
// name unless it names an enumeration, whose members it may show: only those are looked up, once
// per name. Each node already knows the definition it names.
bool same_reference(Diff& diff, const TypeNode& a, const TypeNode& b) {
  const auto named = [](const Contract& contract, DefId id) {
    return id != no_id ? &contract.definitions[id] : nullptr;
  };
  if (!is_enumeration(named(diff.old_contract, a.ref_def)) &&
      !is_enumeration(named(diff.new_contract, b.ref_def)))
    return true;
  const std::string_view name = diff.old_contract.ref_name(a);
  const auto known = diff.same_reference.find(name);
  if (known != diff.same_reference.end()) return known->second;
  const bool same = enumeration_reads_alike(diff.old_contract, diff.new_contract, name);
  diff.same_reference.emplace(name, same);
  return same;
}

bool same_ids(Diff& diff, std::span<const NodeId> olds, std::span<const NodeId> news);

// Do the two nodes read as the same type? Equal structure says yes without writing either: what
// the signature shows of each form is compared, references by what they read as.
bool same_type(Diff& diff, NodeId old_id, NodeId new_id) {
  const TypeNode& a = diff.old_contract.node(old_id);
  const TypeNode& b = diff.new_contract.node(new_id);
  if (a.form != b.form) return false;
  switch (a.form) {
    case TypeForm::firestore:
      return a.firestore == b.firestore && a.server_timestamp == b.server_timestamp &&
             a.has_ref_target == b.has_ref_target &&
             same_bytes(diff.old_contract.extras_of(a).ref_target,
                        diff.new_contract.extras_of(b).ref_target);
    case TypeForm::reference:
      return same_bytes(diff.old_contract.ref_name(a), diff.new_contract.ref_name(b)) &&
             same_reference(diff, a, b);
    case TypeForm::literal:
      return same_datum(diff.old_contract.extras_of(a).constant,
                        diff.new_contract.extras_of(b).constant);
    case TypeForm::enumeration: {
      const std::span<const Datum> x = diff.old_contract.enum_values(a);
      const std::span<const Datum> y = diff.new_contract.enum_values(b);
      return std::equal(x.begin(), x.end(), y.begin(), y.end(), same_datum);
    }
    case TypeForm::alternatives:
      return same_ids(diff, diff.old_contract.alternatives(a), diff.new_contract.alternatives(b));
    case TypeForm::json: {
      const std::span<const TypeName> x = diff.old_contract.types(a);
      const std::span<const TypeName> y = diff.new_contract.types(b);
      const auto same_name = [](const TypeName& p, const TypeName& q) { return p.type == q.type; };
      return a.type_list == b.type_list &&
             std::equal(x.begin(), x.end(), y.begin(), y.end(), same_name) &&
             a.record == b.record &&
             (a.record != RecordValues::schema || same_type(diff, a.record_node, b.record_node)) &&
             a.has_tuple == b.has_tuple &&
             same_ids(diff, diff.old_contract.tuple(a), diff.new_contract.tuple(b)) &&
             (a.items == no_id) == (b.items == no_id) &&
             (a.items == no_id || same_type(diff, a.items, b.items));
    }
    case TypeForm::unknown:
      return true;
  }
  return false;
}

bool same_ids(Diff& diff, std::span<const NodeId> olds, std::span<const NodeId> news) {
  if (olds.size() != news.size()) return false;
  for (std::size_t i = 0; i < olds.size(); ++i) {
    if (!same_type(diff, olds[i], news[i])) return false;
  }
  return true;
}

void compare_text(Diff& diff, Rule rule, std::string_view def, bool old_has,
                  std::string_view old_text, bool new_has, std::string_view new_text) {
  if (!old_has && !new_has) return;
  if (old_has && new_has && old_text == new_text) return;
  diff.findings.push_back(definition_finding(rule, def, std::string(old_has ? old_text : none_text),
                                             std::string(new_has ? new_text : none_text)));
}

// Both versions of one property: its type, then its read-requiredness.
void compare_property(Diff& diff, std::string_view def, const Property& old_prop,
                      const Property& new_prop) {
  if (!same_type(diff, old_prop.node, new_prop.node)) {
    // Types the structure cannot tell apart may still read alike (union members sorted, string
    // enums read as string): the signatures, which the message shows, decide.
    std::string old_sig = read_type_signature(diff.old_contract, old_prop.node);
    std::string new_sig = read_type_signature(diff.new_contract, new_prop.node);
    if (old_sig != new_sig) {
      Finding& finding = diff.findings.emplace_back(field_finding(
          Rule::type_changed, def, old_prop.key, std::move(old_sig), std::move(new_sig)));
      // The text stays the diff's; the direction is read off the types themselves, and the
      // module's type changes with them, which code compiled against the old one may not take.
      finding.directions =
          change_directions(diff.old_contract, old_prop.node, diff.new_contract, new_prop.node) |
          Directions::of(Direction::client);
    }
  }
  const bool was_required = read_required(diff.old_contract, old_prop);
  const bool is_required = read_required(diff.new_contract, new_prop);
  if (was_required && !is_required) {
    diff.findings.push_back(field_finding(Rule::read_required_to_optional, def, old_prop.key));
  } else if (!was_required && is_required) {
    diff.findings.push_back(field_finding(Rule::read_optional_to_required, def, old_prop.key));
  }
}

}  // namespace

bool read_required(const Contract& contract, const Property& property) {
  return property.required && contract.node(property.node).presence_guaranteed;
}

bool diff_definition(Diff& diff, std::string_view name, const Definition* old_def,
                     const Definition* new_def) {
  std::vector<Finding>& findings = diff.findings;
  if (old_def == nullptr) {
    findings.push_back(definition_finding(Rule::model_added, name));
    return true;
  }
  if (new_def == nullptr) {
    findings.push_back(definition_finding(Rule::model_removed, name));
    return true;
  }
  // Enums and scalars are not compared here.
  if (!old_def->object_shaped && !new_def->object_shaped) return true;
  if (old_def->object_shaped != new_def->object_shaped) {
    findings.push_back(definition_finding(Rule::definition_kind_changed, name));
    return true;
  }
  const DefinitionExtras& old_x = diff.old_contract.extras_of(*old_def);
  const DefinitionExtras& new_x = diff.new_contract.extras_of(*new_def);
  compare_text(diff, Rule::doc_id_field_changed, name, old_def->has_doc_id, old_x.doc_id,
               new_def->has_doc_id, new_x.doc_id);
  compare_text(diff, Rule::collection_changed, name, old_def->has_collection, old_x.collection,
               new_def->has_collection, new_x.collection);
  return merge_keys(diff.old_contract.properties_of(*old_def),
                    diff.new_contract.properties_of(*new_def), key_of,
                    [&](std::string_view key, const Property* old_prop, const Property* new_prop) {
                      if (old_prop != nullptr) diff.old_contract.prefetch_key(*old_prop);
                      if (new_prop != nullptr) diff.new_contract.prefetch_key(*new_prop);
                      if (old_prop == nullptr) {
                        findings.push_back(field_finding(read_required(diff.new_contract, *new_prop)
                                                             ? Rule::field_added_read_required
                                                             : Rule::field_added,
                                                         name, key));
                      } else if (new_prop == nullptr) {
                        findings.push_back(field_finding(Rule::field_removed, name, key));
                      } else {
                        compare_property(diff, name, *old_prop, *new_prop);
                      }
                      return !diff.stop();
                    });
}

void reserve_findings(const Contract& old_contract, const Contract& new_contract,
                      std::vector<Finding>& findings) {
  findings.reserve(findings.size() + old_contract.properties.size() +
                   new_contract.properties.size() + old_contract.definitions.size() +
                   new_contract.definitions.size());
}

bool large_comparison(const Contract& old_contract, const Contract& new_contract,
                      std::size_t halves_from) {
  return old_contract.definitions.size() + new_contract.definitions.size() +
             old_contract.properties.size() + new_contract.properties.size() >=
         halves_from;
}

bool compare_in_halves(const Contract& old_contract, const Contract& new_contract,
                       InterruptCheck interrupted, std::vector<Finding>& findings,
                       const DefinitionPass& pass, std::size_t halves_from) {
  reserve_findings(old_contract, new_contract, findings);
  const std::span<const Definition> olds(old_contract.definitions);
  const std::span<const Definition> news(new_contract.definitions);
  Diff first{old_contract, new_contract, findings, interrupted};
  if (!large_comparison(old_contract, new_contract, halves_from) || olds.empty())
    return pass(olds, news, first);
  // The halves meet at the old model's middle name: the new model's names before it go first.
  const std::string_view middle = olds[olds.size() / 2].name;
  const auto split = static_cast<std::size_t>(
      std::lower_bound(news.begin(), news.end(), middle,
                       [](const Definition& d, std::string_view name) { return d.name < name; }) -
      news.begin());
  std::atomic<bool> cancelled = false;
  std::vector<Finding> rest;
  std::future<bool> second = on_own_thread([&] {
    Diff diff{old_contract, new_contract, rest, nullptr, &cancelled};
    return pass(olds.subspan(olds.size() / 2), news.subspan(split), diff);
  });
  if (!second.valid()) return pass(olds, news, first);  // no thread to be had
  // Whatever ends the first half (an interrupt, an exception) stops the second.
  struct Cancel {
    std::atomic<bool>& flag;
    ~Cancel() { flag = true; }
  };
  {
    const Cancel on_exit{cancelled};
    if (!pass(olds.first(olds.size() / 2), news.first(split), first)) {
      cancelled = true;
      second.wait();
      return false;
    }
    while (second.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
      if (interrupted != nullptr && interrupted()) {
        cancelled = true;
        second.wait();
        return false;
      }
    }
  }
  if (!second.get()) return false;
  findings.insert(findings.end(), std::make_move_iterator(rest.begin()),
                  std::make_move_iterator(rest.end()));
  return true;
}

bool references_read_alike(const Contract& old_contract, const Contract& new_contract) {
  return merge_keys(
      std::span<const Definition>(old_contract.definitions),
      std::span<const Definition>(new_contract.definitions), name_of,
      [&](std::string_view name, const Definition* old_def, const Definition* new_def) {
        return (!is_enumeration(old_def) && !is_enumeration(new_def)) ||
               enumeration_reads_alike(old_contract, new_contract, name);
      });
}

bool diff(const Contract& old_contract, const Contract& new_contract, InterruptCheck interrupted,
          std::vector<Finding>& findings, std::size_t halves_from) {
  return compare_in_halves(
      old_contract, new_contract, interrupted, findings,
      [](std::span<const Definition> olds, std::span<const Definition> news, Diff& run) {
        return merge_keys(
            olds, news, name_of,
            [&](std::string_view name, const Definition* old_def, const Definition* new_def) {
              return diff_definition(run, name, old_def, new_def) && !run.stop();
            });
      },
      halves_from);
}

}  // namespace brenvale::compat
