// Canonical read-side type text of a type node, compared by the contract diff.
#include "compat/type_signature.hpp"

#include "typescript/render_type.hpp"

namespace brenvale {

std::string read_type_signature(const Contract& contract, NodeId node, LiteralOrder order) {
  Ctx ctx;
  ctx.contract = &contract;
  ctx.mode = RenderMode::canonical;
  ctx.literals_sorted = order == LiteralOrder::sorted;
  std::string out;
  append_type(ctx, node, Side::read, out);
  return out;
}

std::string reference_signature(const Contract& contract, std::string_view name) {
  Ctx ctx;
  ctx.contract = &contract;
  ctx.mode = RenderMode::canonical;
  const Definition* target = contract.find(name);
  std::string out;
  append_reference(ctx, name, target != nullptr ? contract.id_of(*target) : no_id, Side::read, out);
  return out;
}

}  // namespace brenvale
