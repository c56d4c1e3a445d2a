// The questions an open config set asks the user while it saves, and the
// errors it tells. The set asks only through this interface: the main window
// answers with message boxes, tests answer without a window.
#pragma once

#include <cstddef>
#include <string>

#include "platform/core/SafeFileWriter.h"

namespace ond {

class TConfigPrompter {
 public:
  virtual ~TConfigPrompter() = default;
  // The file (native name) changed on disk, or was deleted when `gone`, since
  // its text was read or saved: true overwrites it with the panel's text,
  // false keeps the file and leaves the text in the panel.
  virtual bool OverwriteChangedFile(const std::string& fileName, bool gone) = 0;
  // No backup could be made (reason: program text naming the backup and the
  // system's reason): true saves without one.
  virtual bool SaveWithoutBackup(const std::string& backupName, const std::string& reason) = 0;
  // `count` characters of the file were read as "?": true saves anyway.
  virtual bool SaveLossy(const std::string& fileName, std::size_t count) = 0;
  // A failure to tell (program text).
  virtual void ShowError(const std::string& message) = 0;
  // The file (native name) can only be written in place and no copy of its
  // present bytes could be made in `folder` (reason: program text; an empty
  // folder: there is no state folder at all): true writes it all the same.
  // Unanswered, the file is kept as it is.
  virtual bool WriteInPlaceWithoutCopy(const std::string& fileName, const std::string& folder,
                                       const std::string& reason);
  // The text about to be saved over the file (native name) holds zero bytes
  // that came from it: UTF-16 text read one byte to a character. True saves
  // them. Unanswered, the file is kept as it is.
  virtual bool SaveZeroBytes(const std::string& fileName);
  // An earlier, interrupted save of the file left the file's old bytes in
  // `copyName` (native names, the newest such copy), and `olderCopies` more
  // beside it; they stay where they are, and the file may hold part of a
  // newer text. Told as an error unless answered otherwise.
  virtual void TellLeftCopy(const std::string& fileName, const std::string& copyName, std::size_t olderCopies);
};

// Why a write failed, in the interface's language: the name and the system's
// reason, and what a failed in-place write left in the file.
std::string WriteFailureText(const TWriteResult& result);
// What a left copy is told with: the file, the newest copy, how many older.
std::string LeftCopyText(const std::string& fileName, const std::string& copyName, std::size_t olderCopies);

// The answers through the application's message box, in the interface's
// language.
class TMessageBoxPrompter : public TConfigPrompter {
 public:
  bool OverwriteChangedFile(const std::string& fileName, bool gone) override;
  bool SaveWithoutBackup(const std::string& backupName, const std::string& reason) override;
  bool SaveLossy(const std::string& fileName, std::size_t count) override;
  void ShowError(const std::string& message) override;
  bool WriteInPlaceWithoutCopy(const std::string& fileName, const std::string& folder,
                               const std::string& reason) override;
  void TellLeftCopy(const std::string& fileName, const std::string& copyName, std::size_t olderCopies) override;
  bool SaveZeroBytes(const std::string& fileName) override;
};

}  // namespace ond
