// The _core extension module: its four functions, and the panic a C++ failure raises.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "contract/model.hpp"
#include "contract/read_contract.hpp"
#include "emit/emit_firestore.hpp"
#include "emit/emit_plain.hpp"
#include "python/arguments.hpp"

namespace brenvale::python {
namespace {

// Created on the first panic and kept for the life of the process. It is not a module
// attribute: no input is known to reach it, and the module offers only its four functions.
PyObject* panic_exception = nullptr;

void raise_panic(const char* description) {
  if (panic_exception == nullptr) {
    panic_exception =
        PyErr_NewException("brenvale._core.PanicException", PyExc_BaseException, nullptr);
    if (panic_exception == nullptr) return;
  }
  PyObject* text = PyUnicode_DecodeUTF8(
      description, static_cast<Py_ssize_t>(std::strlen(description)), "replace");
  if (text == nullptr) return;
  PyErr_SetObject(panic_exception, text);
  Py_DECREF(text);
}

constexpr const char* bundle_parameters[] = {"bundle_json"};
constexpr const char* shared_parameters[] = {"bundle_json", "shared_path", "shared_names"};
constexpr const char* compat_parameters[] = {"old_json", "new_json"};

// emit and emit_plain: one bundle in, one module out.
template <class Emitter>
PyObject* call_bundle_function(const char* function, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames, Emitter&& emitter) {
  return guarded<raise_panic>([&]() -> PyObject* {
    PyObject* bound[1];
    std::string_view bundle_text;
    Contract contract;
    if (!bind_arguments({function, bundle_parameters}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], bundle_parameters[0], bundle_text) ||
        !read_argument(bundle_text, DefinitionTable::defs, contract)) {
      return nullptr;
    }
    return new_str(render_contract(std::move(contract), emitter));
  });
}

PyObject* call_emit(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_bundle_function("emit()", args, nargs, kwnames, [](const Contract& contract) {
    return emit_firestore_module(contract, {}, {});
  });
}

PyObject* call_emit_plain(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_bundle_function("emit_plain()", args, nargs, kwnames,
                              [](const Contract& contract) { return emit_plain(contract); });
}

PyObject* call_emit_shared(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_panic>([&]() -> PyObject* {
    PyObject* bound[3];
    std::string_view bundle_text;
    std::string_view shared_path;
    std::vector<std::string> shared_names;
    Contract contract;
    if (!bind_arguments({"emit_shared()", shared_parameters}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], shared_parameters[0], bundle_text) ||
        !convert_text(bound[1], shared_parameters[1], shared_path) ||
        !convert_names(bound[2], shared_parameters[2], shared_names) ||
        !read_argument(bundle_text, DefinitionTable::defs, contract)) {
      return nullptr;
    }
    OrderedSet<std::string> shared(std::make_move_iterator(shared_names.begin()),
                                   std::make_move_iterator(shared_names.end()));
    return new_str(render_contract(std::move(contract), [&](const Contract& read) {
      return emit_firestore_module(read, std::move(shared), shared_path);
    }));
  });
}

PyObject* call_compat(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<raise_panic>([&]() -> PyObject* {
    PyObject* bound[2];
    std::string_view old_text;
    std::string_view new_text;
    if (!bind_arguments({"compat()", compat_parameters}, args, nargs, kwnames, bound) ||
        !convert_text(bound[0], compat_parameters[0], old_text) ||
        !convert_text(bound[1], compat_parameters[1], new_text)) {
      return nullptr;
    }
    ReadPair read = read_contracts(old_text, new_text, DefinitionTable::defs);
    std::string error;
    if (!check_read(read.first, error) || !check_read(read.second, error)) {
      PyErr_SetString(PyExc_ValueError, error.c_str());
      return nullptr;
    }
    std::vector<compat::Finding> findings;
    compat::diff(read.first.contract, read.second.contract, nullptr, findings);
    // The findings go too before Python copies the report.
    const ComparedTexts kept =
        release_compared(std::move(read.first.contract), std::move(read.second.contract));
    std::string report = compat::findings_json(findings);
    std::vector<compat::Finding>().swap(findings);
    return new_str(report);
  });
}

// The "name(parameters)\n--\n\n" prefix gives __text_signature__; __doc__ is the rest.
PyMethodDef functions[] = {
    {"emit", as_method(call_emit), METH_FASTCALL | METH_KEYWORDS,
     "emit(bundle_json)\n--\n\n"
     "Emit read/write TypeScript from a contract bundle given as a JSON string."},
    {"emit_plain", as_method(call_emit_plain), METH_FASTCALL | METH_KEYWORDS,
     "emit_plain(bundle_json)\n--\n\n"
     "Emit plain (non-Firestore DTO) TypeScript from a standard JSON Schema bundle."},
    {"emit_shared", as_method(call_emit_shared), METH_FASTCALL | METH_KEYWORDS,
     "emit_shared(bundle_json, shared_path, shared_names)\n--\n\n"
     "Like `emit`, but `shared_names` are imported from `shared_path` (a TS module\n"
     "specifier relative to the output file) instead of being defined."},
    {"compat", as_method(call_compat), METH_FASTCALL | METH_KEYWORDS,
     "compat(old_json, new_json)\n--\n\n"
     "Diff two contract bundles (JSON strings). Returns a JSON array of findings:\n"
     "`[{\"def\", \"field\"|null, \"verdict\": \"SAFE\"|\"BREAKING\", \"message\"}]`."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) { return PyModule_AddFunctions(module, functions); }

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_core", "", 0, nullptr, slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace brenvale::python

// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming): CPython's name.
PyMODINIT_FUNC PyInit__core() { return PyModuleDef_Init(&brenvale::python::module_def); }
