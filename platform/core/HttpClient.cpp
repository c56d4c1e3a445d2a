#include "platform/core/HttpClient.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/core/CodePage.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/SysUtils.h"

namespace ond {
namespace {

// The schemes a request and its redirects may use; anything else (file,
// ftp, ...) is refused before it is tried.
constexpr const char* AllowedProtocols = "http,https";
constexpr long MaxRedirects = 10;

struct TTransfer {
  THttpClient* Client;
  CURL* Curl;
  const std::function<bool(const char*, size_t)>* Sink;
  std::int64_t MaxBytes;
  std::int64_t Received = 0;
  bool Begun = false;
  bool TooLarge = false;
  bool NotOk = false;
  bool SinkFailed = false;
};

void EnsureGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void Begin(TTransfer& t) {
  if (t.Begun) return;
  t.Begun = true;
  curl_off_t length = -1;
  if (curl_easy_getinfo(t.Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
  if (t.Client->OnWorkBegin) t.Client->OnWorkBegin(length < 0 ? -1 : static_cast<std::int64_t>(length));
}

bool IsOk(long status) { return status >= 200 && status < 300; }

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<TTransfer*>(user);
  const size_t n = size * count;
  long status = 0;
  curl_easy_getinfo(t.Curl, CURLINFO_RESPONSE_CODE, &status);
  // An error page is not the answer, and nothing of it needs reading.
  if (!IsOk(status)) {
    t.NotOk = true;
    return 0;
  }
  // The cap holds while the body arrives: the first byte beyond it ends
  // the transfer, whatever length was announced.
  if (static_cast<std::uint64_t>(t.Received) + n > static_cast<std::uint64_t>(t.MaxBytes)) {
    t.TooLarge = true;
    return 0;
  }
  Begin(t);
  if (!(*t.Sink)(data, n)) {
    t.SinkFailed = true;
    return 0;
  }
  t.Received += static_cast<std::int64_t>(n);
  if (t.Client->OnWork) t.Client->OnWork(t.Received);
  return n;
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& t = *static_cast<TTransfer*>(user);
  if (t.Client->OnWait) t.Client->OnWait();
  return t.Client->Cancel && t.Client->Cancel->load() ? 1 : 0;
}

// Whether a failed transfer had an answer from the server that was not
// the one asked for, rather than none.
bool ServerAnswered(CURL* curl, CURLcode rc, long status) {
  long requestBytes = 0;
  curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestBytes);
  switch (rc) {
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_BAD_CONTENT_ENCODING:
      return true;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // A redirect to a refused scheme, or a reply that is no HTTP; an
      // address of a refused scheme was never asked at all.
      return (status >= 300 && status < 400) || requestBytes > 0;
    default:
      return status != 0 && !IsOk(status);
  }
}

// The reason of a failed transfer in the program's own words (the transfer
// library's texts are English only): the kinds a user can act on, else the
// library's error number.
std::string TransferFailureText(CURLcode rc) {
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return ProgramText(TProgramText::HttpNoConnection);
    case CURLE_OPERATION_TIMEDOUT:
      return ProgramText(TProgramText::HttpTimedOut);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return ProgramText(TProgramText::HttpNotSecure);
    case CURLE_TOO_MANY_REDIRECTS:
      return ProgramText(TProgramText::HttpTooManyRedirects);
    default:
      return ProgramText(TProgramText::HttpTransferError, {std::to_string(static_cast<int>(rc))});
  }
}

// A file of the download that could not be made or written, with the
// system's reason (taken before anything else can change it).
[[noreturn]] void ThrowFileFailure(TProgramText what, const std::string& path, int err) {
  ThrowWithErrorNumber(EInOutError(ProgramText(what, {Utf8ToAnsi(path)}) + " " + SystemErrorText(err)), err);
}

}  // namespace

void THttpClient::Perform(const std::string& url, std::int64_t maxBytes,
                          const std::function<bool(const char*, size_t)>& sink) {
  EnsureGlobalInit();
  FStatus = 0;
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw EHttpError(ProgramText(TProgramText::HttpNotStarted));
  TTransfer t{this, curl.get(), &sink, maxBytes < 0 ? 0 : maxBytes};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, MaxRedirects);
  // libcurl's defaults, said out loud: an https server must prove who it is.
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  // libcurl sends no User-Agent unless one is set; the header list removes
  // any default just the same.
  curl_slist* headers = curl_slist_append(nullptr, "User-Agent:");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerGuard(headers, curl_slist_free_all);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, Limits.ConnectTimeout);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, Limits.TransferTimeout);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, Limits.LowSpeedLimit);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, Limits.LowSpeedTime);
  // An announced length over the cap fails before the body is read.
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.MaxBytes));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, CheckCancel);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  const CURLcode rc = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &FStatus);
  if (rc == CURLE_OK && IsOk(FStatus)) Begin(t);
  if (t.Begun && OnWorkEnd) OnWorkEnd();
  const auto what = [&](const std::string& reason) {
    return ProgramText(TProgramText::HttpFailed, {Utf8ToAnsi(url), reason});
  };
  const std::string status = ProgramText(TProgramText::HttpStatus, {std::to_string(FStatus)});
  if (t.SinkFailed) throw EInOutError(what(ProgramText(TProgramText::HttpBodyNotStored)));
  if (t.TooLarge || rc == CURLE_FILESIZE_EXCEEDED)
    throw EHttpBadAnswer(what(ProgramText(TProgramText::HttpBodyTooLong, {std::to_string(t.MaxBytes)})));
  if (t.NotOk || (!IsOk(FStatus) && FStatus != 0 && rc == CURLE_OK)) throw EHttpBadAnswer(what(status));
  if (rc != CURLE_OK) {
    const std::string reason = what(TransferFailureText(rc));
    if (ServerAnswered(c, rc, FStatus)) throw EHttpBadAnswer(reason);
    throw EHttpError(reason);
  }
  if (!IsOk(FStatus)) throw EHttpBadAnswer(what(status));
}

std::string THttpClient::Get(const std::string& url, std::int64_t maxBytes) {
  std::string body;
  Perform(url, maxBytes, [&](const char* data, size_t n) {
    body.append(data, n);
    return true;
  });
  return body;
}

void THttpClient::GetToFile(const std::string& url, const std::string& path, std::int64_t maxBytes, unsigned mode) {
  // A new file only: an attacker's link or file of that name is never
  // written through.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) ThrowFileFailure(TProgramText::CannotCreateFile, path, errno);
  bool kept = false;
  int fdOpen = fd;
  const TScopeExit cleanup([&] {
    if (fdOpen >= 0) ::close(fdOpen);
    if (!kept) ::unlink(path.c_str());
  });
  int writeError = 0;
  try {
    Perform(url, maxBytes, [&](const char* data, size_t n) {
      while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          writeError = w < 0 ? errno : ENOSPC;
          return false;
        }
        data += w;
        n -= static_cast<size_t>(w);
      }
      return true;
    });
  } catch (const EInOutError&) {
    ThrowFileFailure(TProgramText::CannotWriteFile, path, writeError);
  }
  if (::fsync(fd) != 0) ThrowFileFailure(TProgramText::CannotWriteFile, path, errno);
  fdOpen = -1;
  if (::close(fd) != 0) ThrowFileFailure(TProgramText::CannotWriteFile, path, errno);
  kept = true;
}

}  // namespace ond
