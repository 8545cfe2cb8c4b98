// Reporting for the transport: process-wide verbosity and the log and error
// hooks every transport class writes through. Each text is cut to 2047
// characters and, when room is left, gets ";TID=<thread id>" appended so the
// lines of different threads can be told apart.
//
// The verbosity and the hooks are process-wide and read without locking;
// they are set once at library load.
#pragma once

#include "text/printf_format.h"

namespace Quillex {

class XmlRpcLogHandler {
 public:
  virtual ~XmlRpcLogHandler() = default;
  virtual void log(int level, const char* text) = 0;

  static XmlRpcLogHandler* getLogHandler();
  static void setLogHandler(XmlRpcLogHandler* handler);
  static int getVerbosity();
  static void setVerbosity(int verbosity);
};

class XmlRpcErrorHandler {
 public:
  virtual ~XmlRpcErrorHandler() = default;
  virtual void error(const char* text) = 0;

  static XmlRpcErrorHandler* getErrorHandler();
  static void setErrorHandler(XmlRpcErrorHandler* handler);
};

// Writes texts up to the verbosity to standard output, flushed.
class DefaultLogHandler : public XmlRpcLogHandler {
 public:
  void log(int level, const char* text) override;
};

// Writes every text to standard error, flushed.
class DefaultErrorHandler : public XmlRpcErrorHandler {
 public:
  void error(const char* text) override;
};

// Formats and passes the text to the log hook when `level` is at most the
// verbosity.
void report(int level, const char* format, ...) TRASVIK_PRINTF(2, 3);
// Formats and passes the text to the error hook, whatever the verbosity.
void reportError(const char* format, ...) TRASVIK_PRINTF(1, 2);

}  // namespace Quillex
