#pragma once
// The exception classes of the program; each carries the message text shown to the user.
#include <stdexcept>
#include <string>

namespace hv {

// Base of every error the program reports with a message box.
class EError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Inconsistent or unresolvable model data ("Invalid ID: ...", "Cannot read old text format").
class EDataError : public EError {
public:
  using EError::EError;
};

// A malformed object stream or a stream that ends too early ("Stream read error").
class EReadError : public EError {
public:
  using EError::EError;
};

// A file that cannot be opened, read or written; start-up reports these and stops.
class EInOutError : public EError {
public:
  using EError::EError;
};

// A file that could not be opened, with the reason told apart for the user.
class EFileOpenError : public EInOutError {
public:
  enum class TReason { NotFound, NoPermission, Folder, NotRegular, Other };
  EFileOpenError(TReason reason, const std::string& message) : EInOutError(message), Reason(reason) {}
  TReason Reason;
};

// Index or capacity of a list out of range ("List index out of bounds (%d)").
class EListError : public EError {
public:
  using EError::EError;
  static EListError Index(long long index);
  static EListError Capacity(long long capacity);
};

// A collection asked to do something its size does not allow.
class ERangeError : public EError {
public:
  using EError::EError;
};

// Text that does not convert to a number.
class EConvertError : public EError {
public:
  using EError::EError;
};

inline constexpr const char* kInvalidPropertyValue = "Invalid property value";
inline constexpr const char* kStreamReadError = "Stream read error";

}  // namespace hv
