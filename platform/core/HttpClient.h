// The HTTP client the update check and download speak through: a plain GET
// that follows redirects (to http and https only) and sends no User-Agent
// header at all, so the server sees nothing about the program but the
// request itself. Certificates of https servers are checked.
//
// Every transfer is bounded: a body is cut off at the size its caller says
// it can have (while it arrives, nothing beyond is kept), a transfer that
// runs too long or too slowly ends, and a program that goes away cancels it.
//
// Failures are exceptions of two kinds: EHttpError when no usable answer
// came (no connection, a timeout, a broken or stalled transfer), and its
// subclass EHttpBadAnswer when the server did answer but not with what was
// asked for (an error status, a body over its cap, a redirect elsewhere than
// http or https, a reply that is no HTTP). A body is returned only when it
// arrived whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EHttpError, Exception);
OND_DECLARE_EXCEPTION(EHttpBadAnswer, EHttpError);

// Time limits of a transfer, in seconds and bytes per second.
struct THttpLimits {
  long ConnectTimeout = 15;
  // The whole transfer, connecting included; 0 for none.
  long TransferTimeout = 0;
  // A transfer slower than LowSpeedLimit bytes a second for LowSpeedTime
  // seconds has stalled and fails.
  long LowSpeedLimit = 1024;
  long LowSpeedTime = 30;
};

class THttpClient {
 public:
  // Fired around the body's arrival: the announced size (-1 when the server
  // gives none), the bytes received so far, and the end (also after a
  // failure once begun).
  std::function<void(std::int64_t expected)> OnWorkBegin;
  std::function<void(std::int64_t received)> OnWork;
  std::function<void()> OnWorkEnd;
  // Fired while a transfer runs, whether data comes or not: about once a
  // second at least, more often while data arrives. A transfer on the
  // window's thread keeps the window answering through it, also while a
  // server is silent.
  std::function<void()> OnWait;

  THttpLimits Limits;
  // When set and true, the transfer stops within about a second and fails
  // (a program that closes does not wait for a slow server).
  const std::atomic<bool>* Cancel = nullptr;

  // The body of a 2xx answer after redirects, at most maxBytes long (a
  // longer one is EHttpBadAnswer).
  std::string Get(const std::string& url, std::int64_t maxBytes);
  // The same body written as it arrives into the new file path: created
  // exclusively (an existing file or link of that name fails), with mode,
  // flushed to the disk before this returns. On any failure the file is
  // removed; a file that could not be written is EInOutError.
  void GetToFile(const std::string& url, const std::string& path, std::int64_t maxBytes, unsigned mode = 0600);
  // The status of the last answer (0 before any).
  long LastStatus() const { return FStatus; }

 private:
  void Perform(const std::string& url, std::int64_t maxBytes, const std::function<bool(const char*, size_t)>& sink);
  long FStatus = 0;
};

}  // namespace ond
