// The clipboard. Text goes to other programs as Unicode, converted from the
// program's code page 1251; private formats travel as their own MIME types.
// Everything placed between Open and Close reaches the clipboard at once.
#pragma once

#include <memory>
#include <string>

namespace ond {

using TClipboardFormat = unsigned;
constexpr TClipboardFormat CF_TEXT = 1;
constexpr TClipboardFormat CF_UNICODETEXT = 13;

class TClipboard {
 public:
  TClipboard();
  virtual ~TClipboard();
  TClipboard(const TClipboard&) = delete;
  TClipboard& operator=(const TClipboard&) = delete;

  // Opens are counted; the outermost Close hands what was placed over.
  void Open();
  void Close();
  // Empties the clipboard (what is placed afterwards replaces everything).
  void Clear();
  bool HasFormat(TClipboardFormat format) const;

  std::string GetAsText() const;  // code page 1251
  void SetAsText(const std::string& text);
  // The bytes of a format; CF_TEXT gives the text in code page 1251.
  std::string GetFormatData(TClipboardFormat format) const;
  void SetFormatData(TClipboardFormat format, const std::string& data);

  // A private format for a name, the same number for the same name.
  static TClipboardFormat RegisterFormat(const std::string& name);
  // The MIME type a format travels as.
  static std::string FormatMimeType(TClipboardFormat format);

 protected:
  // Runs before the placed formats reach the clipboard; derived clipboards
  // may add formats here.
  virtual void Closing() {}
  bool Pending(TClipboardFormat format) const;
  std::string PendingData(TClipboardFormat format) const;
  void SetMimeData(const std::string& mimeType, const std::string& data);

 private:
  struct Private;
  std::unique_ptr<Private> p;
};

// The program-wide clipboard object.
TClipboard* Clipboard();
// Installs another clipboard object and frees the one it replaces.
void SetClipboard(std::unique_ptr<TClipboard> clipboard);

}  // namespace ond
