// Binding, converting and parsing the arguments of the native functions, their results, and the
// edge no C++ exception crosses.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "contract/model.hpp"
#include "contract/read_contract.hpp"

namespace brenvale::python {

// An owned reference, released when it goes.
struct Release {
  void operator()(PyObject* object) const { Py_DECREF(object); }
};
using Ref = std::unique_ptr<PyObject, Release>;

// How a function names itself and its parameters in binding errors.
struct Signature {
  const char* display_name;  // "emit()"
  std::span<const char* const> parameters;
  // How many leading parameters must be given; the slots of the others may stay null.
  std::size_t required = static_cast<std::size_t>(-1);
};

// Places the positional and keyword arguments of a fast call into `bound`, one borrowed
// reference per parameter. Returns false with TypeError set. May throw std::bad_alloc.
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound);

// A str (or subclass) -> its UTF-8 text, borrowed from `object` and valid while it lives;
// the byte after the text is NUL. Returns false with an exception set.
bool convert_text(PyObject* object, const char* parameter, std::string_view& text);

// A sequence of str (not a str itself) -> owned UTF-8 copies, in iteration order.
// Returns false with an exception set. May throw std::bad_alloc.
bool convert_names(PyObject* object, const char* parameter, std::vector<std::string>& names);

// Runs one call; whatever C++ throws becomes a Python exception here: MemoryError for
// std::bad_alloc, else whatever `raise` sets from the description.
template <void (*raise)(const char* description), class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise(error.what());
  } catch (...) {
    raise("unknown C++ exception");
  }
  return nullptr;
}

// Sets `type` (borrowed) with the whole of `message`: a NUL byte in a value it quotes must not
// end it early, as it would through PyErr_SetString.
void set_error(PyObject* type, const std::string& message);

// A new str holding `text`; nullptr with an exception set.
inline PyObject* new_str(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// A METH_FASTCALL | METH_KEYWORDS function as the PyCFunction a PyMethodDef holds.
using FastWithKeywords = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
inline PyCFunction as_method(FastWithKeywords function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// True when a bundle argument's text (a str's UTF-8, which the model borrows) was read; false
// with `error` set to the one-line description of malformed JSON (its place as line and column).
bool check_read(const ReadResult& result, std::string& error);
// A bundle argument's text read into `contract`, with ValueError set on false. May throw
// std::bad_alloc.
bool read_argument(std::string_view text, DefinitionTable table, Contract& contract);

// Frees two compared models but for the texts their findings name definitions and fields by,
// which the result holds: the report is then written without the models beside it.
struct ComparedTexts {
  ContractTexts old_texts;
  ContractTexts new_texts;
};
inline ComparedTexts release_compared(Contract&& old_contract, Contract&& new_contract) {
  return {release_model(std::move(old_contract)), release_model(std::move(new_contract))};
}

// Hands the pages of freed memory back to the system after a large text (`size` bytes) is read
// or written: glibc keeps freed blocks below its (rising) mmap threshold in the heap, so what
// reading left behind would still count while the model is rendered, and the model's memory
// while Python copies the output.
void return_freed_pages(std::size_t size);

// Renders the model, which goes before the text is returned, so it is not there while Python
// copies the text.
template <class Render>
std::string render_contract(Contract&& contract, Render&& render) {
  std::string text;
  {
    const Contract local = std::move(contract);
    text = render(local);
  }
  return_freed_pages(text.size());
  return text;
}

}  // namespace brenvale::python
