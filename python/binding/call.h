// Binding and converting the arguments of one call. Every parameter may be given by position or
// by keyword; conversion failures raise the exceptions of the module frame's conversion table.
// Each accessor returns false with the Python exception set on failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "binding/python.h"
#include "binding/signature.h"

namespace tolm::py {

class Call {
public:
  Call() = default;
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;
  ~Call();

  /// Binds FASTCALL arguments to the signature's parameters; TypeError on failure.
  bool bind(const Signature &signature, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames);

  /// Whether parameter `index` was given (an explicit None counts as given here).
  bool given(size_t index) const { return slots_[index] != nullptr; }
  /// The bound object (borrowed), or nullptr when absent.
  PyObject *object(size_t index) const { return slots_[index]; }

  /// str: the text as UTF-8 (a view of the string's own buffer).
  bool str(size_t index, std::string_view &out) const;
  /// str or None: absent or None leaves `out` empty.
  bool optional_str(size_t index, std::optional<std::string_view> &out) const;
  /// int (signed 64-bit); absent gives `fallback`.
  bool i64(size_t index, int64_t &out, int64_t fallback = 0) const;
  /// int or None; absent or None leaves `out` empty.
  bool optional_i64(size_t index, std::optional<int64_t> &out) const;
  /// unsigned int (64-bit).
  bool u64(size_t index, uint64_t &out, uint64_t fallback = 0) const;
  /// float; absent gives `fallback`.
  bool f64(size_t index, double &out, double fallback = 0.0) const;
  /// bool (or NumPy's bool scalar); absent gives `fallback`.
  bool boolean(size_t index, bool &out, bool fallback = false) const;
  /// A sequence of str other than a str itself.
  bool str_list(size_t index, std::vector<std::string_view> &out) const;

  const Signature &signature() const { return *signature_; }

private:
  bool type_error(size_t index, std::string_view expected) const;
  bool convert_i64(size_t index, int64_t &out, std::string_view expected) const;

  const Signature *signature_ = nullptr;
  PyObject *slots_[Signature::kMaxParams] = {};
  // Items taken out of sequences, released when the call ends.
  mutable std::vector<PyObject *> owned_;
};

} // namespace tolm::py
