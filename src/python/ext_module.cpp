// The _ext extension module: every output form through one emit request, compat with rule ids,
// directions and modes (Ctrl-C stops it), the lists of their choices, and BundleError, which
// names the argument whose bundle failed.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "compat/finding.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "contract/model.hpp"
#include "contract/read_contract.hpp"
#include "python/arguments.hpp"
#include "request/emit_request.hpp"
#include "util/ordered_set.hpp"

namespace brenvale::python {
namespace {

constexpr const char* not_a_bundle =
    "not a contract bundle: no \"$defs\" or \"definitions\" object at the top";
constexpr const char* schema_at_top =
    "not a contract bundle: a model's properties at the top, which no definition holds "
    "(a model's own JSON schema? `brenvale bundle` writes the bundle)";
constexpr const char* two_tables =
    "\"$defs\" and \"definitions\" at the top: only \"$defs\" would be read; keep one";

struct ModuleState {
  PyObject* bundle_error;  // brenvale._ext.BundleError, a ValueError
};

ModuleState& state_of(PyObject* module) {
  return *static_cast<ModuleState*>(PyModule_GetState(module));
}

// A C++ failure no input is known to reach.
void raise_system_error(const char* description) {
  PyErr_SetString(PyExc_SystemError, description);
}

// Set by PyErr_CheckSignals: a pending Ctrl-C raises KeyboardInterrupt and stops the rules.
bool signalled() { return PyErr_CheckSignals() != 0; }

// BundleError(message), its `argument` the parameter whose text it is about, so a caller that
// passed files can say which one failed.
void raise_bundle_error(PyObject* module, const char* argument, const std::string& message) {
  PyObject* text =
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text == nullptr) return;
  PyObject* error = PyObject_CallFunctionObjArgs(state_of(module).bundle_error, text, nullptr);
  Py_DECREF(text);
  if (error == nullptr) return;
  PyObject* name = PyUnicode_FromString(argument);
  if (name != nullptr && PyObject_SetAttrString(error, "argument", name) == 0) {
    PyErr_SetObject(state_of(module).bundle_error, error);
  }
  Py_XDECREF(name);
  Py_DECREF(error);
}

// True when the parameter `argument`'s text was read and holds a definitions table (`$defs` or
// draft-07 `definitions`) that leaves nothing of the bundle out; false with BundleError set.
bool check_bundle(PyObject* module, const char* argument, const ReadResult& result) {
  std::string error;
  if (result.ok && !result.has_table) error = not_a_bundle;
  if (result.ok && result.doubt == TableDoubt::schema_at_top) error = schema_at_top;
  if (result.ok && result.doubt == TableDoubt::two_tables) error = two_tables;
  if (!error.empty() || !check_read(result, error)) {
    raise_bundle_error(module, argument, error);
    return false;
  }
  return true;
}

bool read_bundle(PyObject* module, const char* argument, std::string_view text,
                 Contract& contract) {
  ReadResult result = read_contract(text, DefinitionTable::defs_or_draft07);
  return_freed_pages(text.size());
  if (!check_bundle(module, argument, result)) return false;
  contract = std::move(result.contract);
  return true;
}

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

// Text of an optional parameter, when it was given.
bool convert_optional_text(PyObject* object, const char* parameter, std::string_view& text) {
  return object == nullptr || convert_text(object, parameter, text);
}

bool raise_value_error(const std::string& message) {
  set_error(PyExc_ValueError, message);
  return false;
}

constexpr const char* emit_parameters[] = {"bundle_json",  "kind",         "sdk",
                                           "jsdoc",        "update_paths", "shared_path",
                                           "shared_names", "contract_path"};

// The request the arguments make, checked; false with TypeError or ValueError set.
bool convert_request(PyObject* const* bound, EmitRequest& request) {
  std::string_view kind = output_kind_names[0];
  std::string_view sdk = sdk_names[0];
  std::vector<std::string> shared_names;
  std::string error;
  if (!convert_optional_text(bound[1], emit_parameters[1], kind) ||
      !convert_optional_text(bound[2], emit_parameters[2], sdk) ||
      !convert_flag(bound[3], emit_parameters[3], request.jsdoc) ||
      !convert_flag(bound[4], emit_parameters[4], request.update_paths) ||
      !convert_optional_text(bound[5], emit_parameters[5], request.shared_path) ||
      (bound[6] != nullptr && !convert_names(bound[6], emit_parameters[6], shared_names)) ||
      !convert_optional_text(bound[7], emit_parameters[7], request.contract_path)) {
    return false;
  }
  if (!parse_output_kind(kind, request.kind, error) || !parse_sdk(sdk, request.sdk, error)) {
    return raise_value_error(error);
  }
  request.shared_names = OrderedSet<std::string>(std::make_move_iterator(shared_names.begin()),
                                                 std::make_move_iterator(shared_names.end()));
  error = request_error(request);
  return error.empty() || raise_value_error(error);
}

PyObject* call_emit(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[std::size(emit_parameters)];
    std::string_view bundle_text;
    EmitRequest request;
    Contract contract;
    if (!bind_arguments({"emit()", emit_parameters, 1}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], emit_parameters[0], bundle_text) ||
        !convert_request(bound, request) ||
        !read_bundle(module, emit_parameters[0], bundle_text, contract)) {
      return nullptr;
    }
    if (const std::string refused = contract_error(contract, request); !refused.empty()) {
      raise_bundle_error(module, emit_parameters[0], refused);
      return nullptr;
    }
    return new_str(render_contract(std::move(contract), [&](const Contract& read) {
      return emit_module(read, std::move(request));
    }));
  });
}

constexpr const char* emit_each_parameters[] = {"bundle_json", "requests"};

// One item of emit_each's `requests`: a dict of emit's options (all but the bundle); false with
// TypeError or ValueError set. The request borrows the text of the dict's values, which `held`
// keeps alive: the dict itself may change as the conversion runs Python code (an iterable's
// __iter__), or once the caller's sequence has handed it over.
bool convert_request_dict(PyObject* item, Py_ssize_t index, EmitRequest& request,
                          std::vector<Ref>& held) {
  if (!PyDict_Check(item)) {
    PyErr_Format(PyExc_TypeError, "requests[%zd]: expected a dict of emit's options", index);
    return false;
  }
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  Py_ssize_t position = 0;
  while (PyDict_Next(item, &position, &key, &value)) {
    const auto known = [&](const char* name) {
      return PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, name) == 0;
    };
    if (!std::any_of(std::begin(emit_parameters) + 1, std::end(emit_parameters), known)) {
      PyErr_Format(PyExc_TypeError, "requests[%zd]: unexpected option %R", index, key);
      return false;
    }
  }
  PyObject* bound[std::size(emit_parameters)] = {};
  for (std::size_t i = 1; i < std::size(emit_parameters); ++i) {
    bound[i] = PyDict_GetItemString(item, emit_parameters[i]);  // borrowed, or null
    if (bound[i] != nullptr) held.emplace_back(Py_NewRef(bound[i]));
  }
  return convert_request(bound, request);
}

PyObject* call_emit_each(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[2];
    std::string_view bundle_text;
    Contract contract;
    if (!bind_arguments({"emit_each()", emit_each_parameters, 2}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], emit_each_parameters[0], bundle_text)) {
      return nullptr;
    }
    const Py_ssize_t count = PySequence_Check(bound[1]) ? PySequence_Size(bound[1]) : -1;
    if (count < 0) {
      PyErr_SetString(PyExc_TypeError, "argument 'requests': expected a sequence of dicts");
      return nullptr;
    }
    // Grown item by item: a sequence's __len__ may claim far more items than it holds.
    std::vector<EmitRequest> requests;
    std::vector<Ref> held;
    for (Py_ssize_t i = 0; i < count; ++i) {
      const Ref item(PySequence_GetItem(bound[1], i));
      if (item == nullptr) return nullptr;
      if (!convert_request_dict(item.get(), i, requests.emplace_back(), held)) return nullptr;
    }
    if (!read_bundle(module, emit_each_parameters[0], bundle_text, contract)) return nullptr;
    PyObject* modules = PyList_New(count);
    if (modules == nullptr) return nullptr;
    for (const EmitRequest& request : requests) {
      if (const std::string refused = contract_error(contract, request); !refused.empty()) {
        raise_bundle_error(module, emit_each_parameters[0], refused);
        return nullptr;
      }
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject* text =
          new_str(emit_module(contract, std::move(requests[static_cast<std::size_t>(i)])));
      if (text == nullptr || PyList_SetItem(modules, i, text) != 0) {
        Py_DECREF(modules);
        return nullptr;
      }
    }
    return modules;
  });
}

constexpr const char* compat_parameters[] = {"old_json", "new_json", "mode"};

PyObject* call_compat(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  return guarded<raise_system_error>([&]() -> PyObject* {
    PyObject* bound[3];
    std::string_view old_text;
    std::string_view new_text;
    std::string_view mode_text = compat::mode_names[0];
    if (!bind_arguments({"compat()", compat_parameters, 2}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], compat_parameters[0], old_text) ||
        !convert_text(bound[1], compat_parameters[1], new_text) ||
        !convert_optional_text(bound[2], compat_parameters[2], mode_text)) {
      return nullptr;
    }
    compat::Mode mode{};
    if (!compat::parse_mode(mode_text, mode)) {
      raise_value_error(compat::unknown_mode_message(mode_text));
      return nullptr;
    }
    ReadPair read = read_contracts(old_text, new_text, DefinitionTable::defs_or_draft07);
    if (!check_bundle(module, compat_parameters[0], read.first) ||
        !check_bundle(module, compat_parameters[1], read.second)) {
      return nullptr;
    }
    const Contract& old_contract = read.first.contract;
    const Contract& new_contract = read.second.contract;
    std::vector<compat::Finding> findings;
    std::string text;
    // On false, KeyboardInterrupt (or whatever the signal handler raised) is set.
    if (!compat::rule_findings(old_contract, new_contract, signalled, findings)) return nullptr;
    // The findings go too before Python copies the report.
    const ComparedTexts kept =
        release_compared(std::move(read.first.contract), std::move(read.second.contract));
    if (!compat::rule_findings_json(findings, mode, signalled, text)) return nullptr;
    std::vector<compat::Finding>().swap(findings);
    return new_str(text);
  });
}

// The "name(parameters)\n--\n\n" prefix gives __text_signature__; __doc__ is the rest.
PyMethodDef functions[] = {
    {"emit", as_method(call_emit), METH_FASTCALL | METH_KEYWORDS,
     "emit(bundle_json, kind='firestore', sdk='web', jsdoc=False, update_paths=False, "
     "shared_path='', shared_names=(), contract_path='./contract')\n--\n\n"
     "The module of `kind` (one of KINDS) for a contract bundle with `$defs` or draft-07\n"
     "`definitions`. firestore: the module _core.emit writes, for `sdk` (one of SDKS), with\n"
     "`update_paths` (Update types that take dotted field paths), and with `shared_names`\n"
     "imported from `shared_path` instead of written. plain: the DTO interfaces. zod: schemas\n"
     "and validating converters for `sdk`, checked against the Firestore module at\n"
     "`contract_path`.\n"
     "`jsdoc` writes titles and descriptions as JSDoc (firestore, plain). An option the kind\n"
     "does not read raises ValueError; a bundle that fails raises BundleError."},
    {"emit_each", as_method(call_emit_each), METH_FASTCALL | METH_KEYWORDS,
     "emit_each(bundle_json, requests)\n--\n\n"
     "The modules of several requests for one bundle, read once: `requests` is a sequence of\n"
     "dicts of emit's options (kind, sdk, ...); returns a list of the modules, in order. Every\n"
     "request is checked before the bundle is read."},
    {"compat", as_method(call_compat), METH_FASTCALL | METH_KEYWORDS,
     "compat(old_json, new_json, mode='full')\n--\n\n"
     "Diff two contract bundles (JSON strings) by every compat rule. Returns a JSON array:\n"
     "`[{\"def\", \"direction\", \"field\"|null, \"message\", \"rule\", "
     "\"verdict\": \"SAFE\"|\"BREAKING\"}]`,\n"
     "where \"direction\" is every direction the finding breaks (\"backward\", \"forward\",\n"
     "\"client\"), joined by \"+\". `mode` (one of MODES) names the directions that are BREAKING;\n"
     "findings in others are SAFE. A bundle that fails raises BundleError."},
    {nullptr, nullptr, 0, nullptr},
};

// The names of a list of choices as a tuple of str.
template <class Names>
PyObject* name_tuple(const Names& names) {
  PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(std::size(names)));
  if (tuple == nullptr) return nullptr;
  Py_ssize_t i = 0;
  for (const std::string_view name : names) {
    PyObject* item = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    if (item == nullptr || PyTuple_SetItem(tuple, i++, item) != 0) {
      Py_DECREF(tuple);
      return nullptr;
    }
  }
  return tuple;
}

int add_names(PyObject* module, const char* name, PyObject* tuple) {
  if (tuple == nullptr) return -1;
  const int result = PyModule_AddObjectRef(module, name, tuple);
  Py_DECREF(tuple);
  return result;
}

int exec_module(PyObject* module) {
  ModuleState& state = state_of(module);
  state.bundle_error = PyErr_NewExceptionWithDoc(
      "brenvale._ext.BundleError",
      "A bundle argument that is no JSON or no contract bundle; `argument` names it.",
      PyExc_ValueError, nullptr);
  if (state.bundle_error == nullptr ||
      PyModule_AddObjectRef(module, "BundleError", state.bundle_error) != 0 ||
      add_names(module, "KINDS", name_tuple(output_kind_names)) != 0 ||
      add_names(module, "SDKS", name_tuple(sdk_names)) != 0 ||
      add_names(module, "MODES", name_tuple(compat::mode_names)) != 0) {
    return -1;
  }
  return PyModule_AddFunctions(module, functions);
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
  Py_VISIT(state_of(module).bundle_error);
  return 0;
}

int clear_module(PyObject* module) {
  Py_CLEAR(state_of(module).bundle_error);
  return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_ext",       "",          sizeof(ModuleState), nullptr, slots,
    traverse_module,       clear_module, free_module,
};

}  // namespace
}  // namespace brenvale::python

// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming): CPython's name.
PyMODINIT_FUNC PyInit__ext() { return PyModuleDef_Init(&brenvale::python::module_def); }
