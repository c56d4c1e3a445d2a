#include "platform/Clipbrd.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <map>
#include <mutex>
#include <vector>

#include "platform/QtBridge.h"

namespace ond {

namespace {
const char* const kTextMime = "text/plain";

std::vector<std::string>& RegisteredNames() {
  static std::vector<std::string> names;
  return names;
}

std::unique_ptr<TClipboard>& GlobalClipboard() {
  static std::unique_ptr<TClipboard> clipboard;
  return clipboard;
}
}  // namespace

struct TClipboard::Private {
  int openCount = 0;
  bool cleared = false;
  std::map<std::string, std::string> pending;  // MIME type -> bytes
  bool hasPendingText = false;
  std::string pendingText;  // code page 1251
};

TClipboard::TClipboard() : p(std::make_unique<Private>()) {}
TClipboard::~TClipboard() = default;

TClipboardFormat TClipboard::RegisterFormat(const std::string& name) {
  auto& names = RegisteredNames();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<TClipboardFormat>(0xC000 + i);
  names.push_back(name);
  return static_cast<TClipboardFormat>(0xC000 + names.size() - 1);
}

std::string TClipboard::FormatMimeType(TClipboardFormat format) {
  if (format == CF_TEXT || format == CF_UNICODETEXT) return kTextMime;
  const auto& names = RegisteredNames();
  if (format >= 0xC000 && format - 0xC000 < names.size()) {
    std::string mime = "application/x-";
    for (char c : names[format - 0xC000]) {
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) mime += c;
      else if (c >= 'A' && c <= 'Z') mime += static_cast<char>(c - 'A' + 'a');
      else mime += '-';
    }
    return mime;
  }
  return "application/x-clipboard-format-" + std::to_string(format);
}

void TClipboard::Open() { ++p->openCount; }

void TClipboard::Close() {
  if (p->openCount == 0) return;
  if (--p->openCount > 0) return;
  if (!p->cleared && !p->hasPendingText && p->pending.empty()) return;
  Closing();
  auto* data = new QMimeData;
  if (p->hasPendingText) data->setText(AnsiToQString(p->pendingText));
  for (const auto& [mime, bytes] : p->pending)
    data->setData(QString::fromStdString(mime), QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  QGuiApplication::clipboard()->setMimeData(data);
  p->cleared = false;
  p->hasPendingText = false;
  p->pendingText.clear();
  p->pending.clear();
}

void TClipboard::Clear() {
  Open();
  p->cleared = true;
  p->hasPendingText = false;
  p->pending.clear();
  Close();
}

bool TClipboard::HasFormat(TClipboardFormat format) const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return false;
  if (format == CF_TEXT || format == CF_UNICODETEXT) return data->hasText();
  return data->hasFormat(QString::fromStdString(FormatMimeType(format)));
}

std::string TClipboard::GetAsText() const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return std::string();
  return QStringToAnsi(data->text());
}

// The first format placed while open empties the clipboard; later ones join it.
static void Adding(bool& cleared, bool& hasText, std::map<std::string, std::string>& pending) {
  if (cleared) return;
  cleared = true;
  hasText = false;
  pending.clear();
}

void TClipboard::SetAsText(const std::string& text) {
  Open();
  Adding(p->cleared, p->hasPendingText, p->pending);
  p->hasPendingText = true;
  p->pendingText = text;
  Close();
}

std::string TClipboard::GetFormatData(TClipboardFormat format) const {
  if (format == CF_TEXT || format == CF_UNICODETEXT) return GetAsText();
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return std::string();
  const QByteArray bytes = data->data(QString::fromStdString(FormatMimeType(format)));
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TClipboard::SetFormatData(TClipboardFormat format, const std::string& data) {
  Open();
  Adding(p->cleared, p->hasPendingText, p->pending);
  if (format == CF_TEXT || format == CF_UNICODETEXT) {
    p->hasPendingText = true;
    p->pendingText = data;
  } else {
    p->pending[FormatMimeType(format)] = data;
  }
  Close();
}

bool TClipboard::Pending(TClipboardFormat format) const {
  if (format == CF_TEXT || format == CF_UNICODETEXT) return p->hasPendingText;
  return p->pending.count(FormatMimeType(format)) > 0;
}

std::string TClipboard::PendingData(TClipboardFormat format) const {
  if (format == CF_TEXT || format == CF_UNICODETEXT) return p->pendingText;
  auto it = p->pending.find(FormatMimeType(format));
  return it == p->pending.end() ? std::string() : it->second;
}

void TClipboard::SetMimeData(const std::string& mimeType, const std::string& data) { p->pending[mimeType] = data; }

TClipboard* Clipboard() {
  auto& c = GlobalClipboard();
  if (!c) c = std::make_unique<TClipboard>();
  return c.get();
}

void SetClipboard(std::unique_ptr<TClipboard> clipboard) { GlobalClipboard() = std::move(clipboard); }

}  // namespace ond
