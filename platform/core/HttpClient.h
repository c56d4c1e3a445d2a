// The HTTP client the update check and download speak through: a plain GET
// that follows redirects and sends no User-Agent header at all, so the server
// sees nothing about the program but the request itself.
//
// Any failure (no connection, an error status, a bad address, a body that
// ended before its announced length or its last chunk) is an EHttpError; a
// body is returned only when it arrived whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EHttpError, Exception);

class THttpClient {
 public:
  // Fired around the body's arrival: the announced size (-1 when the server
  // gives none), the bytes received so far, and the end (also after a
  // failure once begun).
  std::function<void(std::int64_t expected)> OnWorkBegin;
  std::function<void(std::int64_t received)> OnWork;
  std::function<void()> OnWorkEnd;

  // Seconds allowed for connecting; the whole transfer has no limit, since a
  // slow line still delivers.
  long ConnectTimeout = 15;
  // A transfer that delivers nothing for this many seconds has stalled and
  // fails, so that a download always ends.
  long StallTimeout = 60;
  // When set and true, the transfer stops within about a second and fails
  // (a program that closes does not wait for a slow server).
  const std::atomic<bool>* Cancel = nullptr;

  // The body of a 2xx answer after redirects.
  std::string Get(const std::string& url);
  // The status of the last answer (0 before any).
  long LastStatus() const { return FStatus; }

 private:
  long FStatus = 0;
};

}  // namespace ond
