// The _ext extension module: the opt-in output forms of emit and emit_plain, the zod module, and
// compat with rule ids, directions and modes (Ctrl-C stops it).
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "contract/model.hpp"
#include "emit/emit_firestore.hpp"
#include "emit/emit_plain.hpp"
#include "emit/emit_zod.hpp"
#include "python/arguments.hpp"
#include "util/ordered_set.hpp"

namespace brenvale::python {
namespace {

// A C++ failure no input is known to reach.
void raise_system_error(const char* description) {
  PyErr_SetString(PyExc_SystemError, description);
}

// Set by PyErr_CheckSignals: a pending Ctrl-C raises KeyboardInterrupt and stops the rules.
bool signalled() { return PyErr_CheckSignals() != 0; }

constexpr const char* emit_parameters[] = {"bundle_json",  "shared_path", "shared_names",
                                           "update_paths", "jsdoc",       "sdk"};

// A bool given as a flag; anything but True or False is refused, as a typo would be.
bool convert_flag(PyObject* object, const char* parameter, bool& flag) {
  if (object == nullptr) return true;
  if (object != Py_True && object != Py_False) {
    PyErr_Format(PyExc_TypeError, "argument '%s': expected True or False", parameter);
    return false;
  }
  flag = object == Py_True;
  return true;
}

PyObject* call_emit(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[6];
    std::string_view bundle_text;
    std::string_view shared_path;
    std::string_view sdk = "web";
    std::vector<std::string> shared_names;
    FirestoreOptions options;
    Document bundle;
    if (!bind_arguments({"emit()", emit_parameters, 1}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], emit_parameters[0], bundle_text) ||
        (bound[1] != nullptr && !convert_text(bound[1], emit_parameters[1], shared_path)) ||
        (bound[2] != nullptr && !convert_names(bound[2], emit_parameters[2], shared_names)) ||
        !convert_flag(bound[3], emit_parameters[3], options.update_paths) ||
        !convert_flag(bound[4], emit_parameters[4], options.jsdoc) ||
        (bound[5] != nullptr && !convert_text(bound[5], emit_parameters[5], sdk))) {
      return nullptr;
    }
    if (sdk != "web" && sdk != "admin") {
      const std::string message = "sdk must be 'web' or 'admin', not '" + std::string(sdk) + "'";
      PyErr_SetString(PyExc_ValueError, message.c_str());
      return nullptr;
    }
    options.sdk = sdk == "admin" ? Sdk::admin : Sdk::web;
    if (options.sdk == Sdk::admin && options.update_paths) {
      PyErr_SetString(PyExc_ValueError,
                      "update_paths is for the web SDK: the Admin SDK's UpdateData cannot expand "
                      "maps of models or references");
      return nullptr;
    }
    if (!parse_argument(bundle_text, bundle)) return nullptr;
    OrderedSet<std::string> shared(std::make_move_iterator(shared_names.begin()),
                                   std::make_move_iterator(shared_names.end()));
    return new_str(render_bundle(
        std::move(bundle), DefinitionTable::defs_or_draft07, [&](const Contract& contract) {
          return emit_firestore_module(contract, std::move(shared), shared_path, options);
        }));
  });
}

constexpr const char* emit_plain_parameters[] = {"bundle_json", "jsdoc"};

PyObject* call_emit_plain(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[2];
    std::string_view bundle_text;
    PlainOptions options;
    Document bundle;
    if (!bind_arguments({"emit_plain()", emit_plain_parameters, 1}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], emit_plain_parameters[0], bundle_text) ||
        !convert_flag(bound[1], emit_plain_parameters[1], options.jsdoc) ||
        !parse_argument(bundle_text, bundle)) {
      return nullptr;
    }
    return new_str(
        render_bundle(std::move(bundle), DefinitionTable::defs_or_draft07,
                      [&](const Contract& contract) { return emit_plain(contract, options); }));
  });
}

constexpr const char* zod_parameters[] = {"bundle_json", "contract_path"};

PyObject* call_zod(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[2];
    std::string_view bundle_text;
    std::string_view contract_path = "./contract";
    Document bundle;
    if (!bind_arguments({"zod()", zod_parameters, 1}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], zod_parameters[0], bundle_text) ||
        (bound[1] != nullptr && !convert_text(bound[1], zod_parameters[1], contract_path)) ||
        !parse_argument(bundle_text, bundle)) {
      return nullptr;
    }
    return new_str(render_bundle(
        std::move(bundle), DefinitionTable::defs_or_draft07,
        [&](const Contract& contract) { return emit_zod_module(contract, contract_path); }));
  });
}

constexpr const char* compat_parameters[] = {"old_json", "new_json", "mode"};

PyObject* call_compat(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[3];
    std::string_view old_text;
    std::string_view new_text;
    std::string_view mode_text = "full";
    Document old_bundle;
    Document new_bundle;
    if (!bind_arguments({"compat()", compat_parameters, 2}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], compat_parameters[0], old_text) ||
        !convert_text(bound[1], compat_parameters[1], new_text) ||
        (bound[2] != nullptr && !convert_text(bound[2], compat_parameters[2], mode_text))) {
      return nullptr;
    }
    compat::Mode mode{};
    if (!compat::parse_mode(mode_text, mode)) {
      PyErr_SetString(PyExc_ValueError, compat::unknown_mode_message(mode_text).c_str());
      return nullptr;
    }
    if (!parse_argument(old_text, old_bundle) || !parse_argument(new_text, new_bundle)) {
      return nullptr;
    }
    const Contract old_contract = build_contract(old_bundle, DefinitionTable::defs_or_draft07);
    const Contract new_contract = build_contract(new_bundle, DefinitionTable::defs_or_draft07);
    std::vector<compat::Finding> findings;
    std::string text;
    // On false, KeyboardInterrupt (or whatever the signal handler raised) is set.
    if (!compat::rule_findings(old_contract, new_contract, signalled, findings) ||
        !compat::rule_findings_json(findings, mode, signalled, text)) {
      return nullptr;
    }
    return new_str(text);
  });
}

// The "name(parameters)\n--\n\n" prefix gives __text_signature__; __doc__ is the rest.
PyMethodDef functions[] = {
    {"emit", as_method(call_emit), METH_FASTCALL | METH_KEYWORDS,
     "emit(bundle_json, shared_path='', shared_names=(), update_paths=False, jsdoc=False, "
     "sdk='web')\n--\n\n"
     "The Firestore module, as _core.emit_shared writes it, with the output forms that are\n"
     "off by default: `update_paths` makes each Update type accept dotted field paths;\n"
     "`jsdoc` writes titles and descriptions as JSDoc above declarations and members;\n"
     "`sdk='admin'` writes the module for firebase-admin/firestore instead of the web SDK."},
    {"emit_plain", as_method(call_emit_plain), METH_FASTCALL | METH_KEYWORDS,
     "emit_plain(bundle_json, jsdoc=False)\n--\n\n"
     "The plain DTO module, as _core.emit_plain writes it; `jsdoc` writes titles and\n"
     "descriptions as JSDoc above declarations and members."},
    {"zod", as_method(call_zod), METH_FASTCALL | METH_KEYWORDS,
     "zod(bundle_json, contract_path='./contract')\n--\n\n"
     "Zod schemas for every definition (`{Name}Schema`, and `{Name}WriteSchema` for models)\n"
     "and a validating converter per collection model, each declared with the interface it\n"
     "checks, imported from `contract_path`: the module `emit` writes for the same bundle."},
    {"compat", as_method(call_compat), METH_FASTCALL | METH_KEYWORDS,
     "compat(old_json, new_json, mode='full')\n--\n\n"
     "Diff two contract bundles (JSON strings) by every compat rule. Returns a JSON array:\n"
     "`[{\"def\", \"direction\": \"backward\"|\"forward\"|\"client\", \"field\"|null, "
     "\"message\",\n"
     "\"rule\", \"verdict\": \"SAFE\"|\"BREAKING\"}]`. `mode` (\"backward\", \"forward\" or "
     "\"full\")\nnames the directions that are BREAKING; findings in others are SAFE."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) { return PyModule_AddFunctions(module, functions); }

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_ext", "", 0, nullptr, slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace brenvale::python

// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming): CPython's name.
PyMODINIT_FUNC PyInit__ext() { return PyModuleDef_Init(&brenvale::python::module_def); }
