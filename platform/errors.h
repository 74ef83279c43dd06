#pragma once

// The project's exception family. Every failure is an exception whose what() is the exact
// English message the system shows or hands on; derived types exist only where a caller
// must tell failures apart.

#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  const std::string& GetMessage() const noexcept { return Message; }

 private:
  std::string Message;
};

// The silent abort: an operation refused by a rule, reported to nobody.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// An index outside an owned list ("List index out of bounds (%d)").
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// A value text that cannot be converted to the asked type.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Floating-point and integer arithmetic failures, raised by explicit checks.
class EMathError : public Exception {
 public:
  using Exception::Exception;
};
class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};
class EIntOverflow : public EMathError {
 public:
  EIntOverflow() : EMathError("Integer overflow") {}
};

// A file or device failure after the file was opened.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};
