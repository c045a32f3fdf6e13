// Turns the Python arguments of a call into checked C++ values, raising the call's TypeError
// or ValueError on the way.
#include "python/arguments.hpp"

#include <algorithm>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace brenvale::python {
namespace {

// More capacity than this is not reserved up front: a hostile __len__ must not allocate.
constexpr Py_ssize_t max_reserved_names = 1 << 16;

// "'{type}' object is not an instance of '{expected}'", naming the type by its qualified name
// (PyType_GetQualName is not in the 3.10 limited API).
bool raise_not_instance(PyObject* object, const char* expected) {
  if (object == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return false;
  }
  const Ref qualname(
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (qualname == nullptr) return false;
  PyErr_Format(PyExc_TypeError, "'%S' object is not an instance of '%s'", qualname.get(), expected);
  return false;
}

bool text_of(PyObject* object, std::string_view& text) {
  if (!PyUnicode_Check(object)) return raise_not_instance(object, "str");
  Py_ssize_t size = 0;
  const char* chars = PyUnicode_AsUTF8AndSize(object, &size);  // lone surrogates raise here
  if (chars == nullptr) return false;
  // The buffer lives as long as the object, with a NUL byte past its end: the reader reads it in
  // place.
  text = std::string_view(chars, static_cast<std::size_t>(size));
  return true;
}

bool names_of(PyObject* object, std::vector<std::string>& names) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(object)) return raise_not_instance(object, "Sequence");
  // The length is only a hint; iteration is what decides.
  const Py_ssize_t hint = PySequence_Size(object);
  if (hint < 0) {
    PyErr_Clear();
  } else {
    names.reserve(static_cast<std::size_t>(std::min(hint, max_reserved_names)));
  }
  const Ref iterator(PyObject_GetIter(object));
  if (iterator == nullptr) return false;
  while (const Ref item{PyIter_Next(iterator.get())}) {
    std::string_view text;
    if (!text_of(item.get(), text)) return false;
    names.emplace_back(text);
  }
  return PyErr_Occurred() == nullptr;
}

// The one funnel for conversion failures: an exception of exactly TypeError becomes
// "argument '{parameter}': {message}" and keeps its cause; any other exception passes unchanged.
bool name_argument(const char* parameter) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value == nullptr || Py_TYPE(value) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    PyErr_Restore(type, value, traceback);
    return false;
  }
  const Ref original(value);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  const Ref reason(PyObject_Str(original.get()));
  if (reason == nullptr) return false;
  const Ref message(PyUnicode_FromFormat("argument '%s': %U", parameter, reason.get()));
  if (message == nullptr) return false;
  const Ref renamed(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (renamed == nullptr) return false;
  PyException_SetCause(renamed.get(), PyException_GetCause(original.get()));
  PyErr_SetObject(PyExc_TypeError, renamed.get());
  return false;
}

void raise_missing(const Signature& signature, std::span<PyObject* const> bound) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < bound.size(); ++i) {
    if (bound[i] == nullptr) missing.push_back(signature.parameters[i]);
  }
  const std::size_t count = missing.size();
  std::string message = signature.display_name;
  message += " missing " + std::to_string(count) + " required positional argument";
  message += count == 1 ? ": " : "s: ";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) message += count == 2 ? " and " : (i + 1 == count ? ", and " : ", ");
    message += '\'';
    message += missing[i];
    message += '\'';
  }
  set_error(PyExc_TypeError, message);
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound) {
  const auto parameter_count = static_cast<Py_ssize_t>(signature.parameters.size());
  if (nargs > parameter_count) {
    PyErr_Format(PyExc_TypeError, "%s takes %zd positional arguments but %zd were given",
                 signature.display_name, parameter_count, nargs);
    return false;
  }
  std::fill(bound.begin(), bound.end(), nullptr);
  std::copy(args, args + nargs, bound.begin());
  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* name = PyTuple_GetItem(kwnames, k);
    const auto found = std::find_if(
        signature.parameters.begin(), signature.parameters.end(), [name](const char* parameter) {
          return PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, parameter) == 0;
        });
    if (found == signature.parameters.end()) {
      PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
                   signature.display_name, name);
      return false;
    }
    PyObject*& slot = bound[static_cast<std::size_t>(found - signature.parameters.begin())];
    if (slot != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                   signature.display_name, *found);
      return false;
    }
    slot = args[nargs + k];
  }
  const std::span<PyObject* const> required =
      bound.first(std::min(signature.required, bound.size()));
  if (std::find(required.begin(), required.end(), nullptr) != required.end()) {
    raise_missing(signature, required);
    return false;
  }
  return true;
}

bool convert_text(PyObject* object, const char* parameter, std::string_view& text) {
  return text_of(object, text) || name_argument(parameter);
}

bool convert_names(PyObject* object, const char* parameter, std::vector<std::string>& names) {
  return names_of(object, names) || name_argument(parameter);
}

void return_freed_pages(std::size_t size) {
#if defined(__GLIBC__)
  // Trimming takes about 2 ms for the tens of megabytes a text of this size leaves in the heap;
  // a smaller text leaves leftovers that matter less than that time.
  constexpr std::size_t worth_trimming = std::size_t{32} << 20;
  if (size >= worth_trimming) malloc_trim(0);
#else
  (void)size;
#endif
}

bool check_read(const ReadResult& result, std::string& error) {
  if (!result.ok) {
    // The only place that spells the message of malformed JSON.
    error = result.error.description();
    error += " at line " + std::to_string(result.error.line) + " column " +
             std::to_string(result.error.column);
    return false;
  }
  return true;
}

void set_error(PyObject* type, const std::string& message) {
  const Ref text(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text != nullptr) PyErr_SetObject(type, text.get());
}

bool read_argument(std::string_view text, DefinitionTable table, Contract& contract) {
  ReadResult result = read_contract(text, table);
  return_freed_pages(text.size());
  std::string error;
  if (!check_read(result, error)) {
    set_error(PyExc_ValueError, error);
    return false;
  }
  contract = std::move(result.contract);
  return true;
}

}  // namespace brenvale::python
