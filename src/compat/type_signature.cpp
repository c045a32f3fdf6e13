// Canonical read-side type text of a schema node, compared by the contract diff.
#include "compat/type_signature.hpp"

#include "typescript/render_type.hpp"

namespace brenvale {

std::string read_type_signature(const Value& defs, const Value& node) {
  Ctx ctx;
  ctx.defs = &defs;
  ctx.mode = RenderMode::canonical;
  return render_type(ctx, node, Side::read);
}

}  // namespace brenvale
