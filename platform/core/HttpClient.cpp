#include "platform/core/HttpClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace ond {
namespace {

struct TTransfer {
  THttpClient* Client;
  CURL* Curl;
  std::string Body;
  bool Begun = false;
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

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<TTransfer*>(user);
  const size_t n = size * count;
  // The body of a redirect or an error page is not the answer.
  long status = 0;
  curl_easy_getinfo(t.Curl, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status >= 300) return n;
  Begin(t);
  t.Body.append(data, n);
  if (t.Client->OnWork) t.Client->OnWork(static_cast<std::int64_t>(t.Body.size()));
  return n;
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& t = *static_cast<TTransfer*>(user);
  return t.Client->Cancel && t.Client->Cancel->load() ? 1 : 0;
}

}  // namespace

std::string THttpClient::Get(const std::string& url) {
  EnsureGlobalInit();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw EHttpError("HTTP client could not start");
  TTransfer t{this, curl.get(), {}, false};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  // libcurl sends no User-Agent unless one is set; the header list removes
  // any default just the same.
  curl_slist* headers = curl_slist_append(nullptr, "User-Agent:");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerGuard(headers, curl_slist_free_all);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, ConnectTimeout);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, StallTimeout);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, CheckCancel);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  const CURLcode rc = curl_easy_perform(c);
  FStatus = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &FStatus);
  if (rc == CURLE_OK && FStatus >= 200 && FStatus < 300) Begin(t);
  if (t.Begun && OnWorkEnd) OnWorkEnd();
  if (rc != CURLE_OK) throw EHttpError(std::string("HTTP GET failed: ") + curl_easy_strerror(rc));
  if (FStatus < 200 || FStatus >= 300)
    throw EHttpError("HTTP GET failed: status " + std::to_string(FStatus));
  return std::move(t.Body);
}

}  // namespace ond
