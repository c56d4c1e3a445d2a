// Discovery of a config set: from the root file, every file it references,
// directly or through other files, in breadth-first order, with per-file
// reference data and the root's header values. The editor panels, the files
// tree, saving and reloading all address a file by its index in `Files`.
//
// File names are native paths (UTF-8, "/"). A reference's name is read as
// the panel reads the file's text (UTF-8; what is not UTF-8 or has no code
// page 1251 form becomes "?", and so does a zero byte, which no file name can
// hold), and "\" and "/" both separate in it; it is resolved against the folder
// of the file holding it, normalised lexically, and matched to the file on
// disk whatever its letter case. Two references that reach one existing file
// (by any spelling or through a symbolic link) give one entry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/SafeFileWriter.h"
#include "workspace/Encodings.h"

namespace ond {

// One file of a set.
class TZuFileInformation {
 public:
  // Missing is set when no file by that name exists now.
  TZuFileInformation(std::string fileName, std::string name);

  std::string FileName;  // full native path; replaced when saved under another name
  std::string Name;      // file name without folder and extension (code page 1251 text)
  bool Missing = false;
  bool ReadError = false;  // reading or scanning it failed during discovery
  bool ListingCut = false;  // read, but listing stopped in it: the set would have grown past MaxFiles
  int FoundRefs = 0;       // references found in its text, duplicates counted
  int RefCount = 0;        // entries in Refs
  int Referenced = 0;      // how many times files of the set reference it
  std::vector<std::string> Refs;  // the full paths it references, each once

  // The file name without its folder (native form).
  std::string ExtractFileName() const;
  bool HasBackup() const;
  std::string BackupFileName() const { return FileName + ".backup"; }
  int AddRef(const std::string& path);
  // First entry of Refs equal to path without regard to ASCII letter case, or -1.
  int IndexOfRef(std::string_view path) const;
  // The whole file decoded as UTF-8 (bytes that are not UTF-8 become "?");
  // empty when Missing. Throws when the file cannot be read, is not a
  // regular file (a device or a pipe would never end or never answer) or is
  // larger than MaxTextFileSize.
  std::string Text() const;
  // The same as UTF-8 bytes, without a byte-order mark.
  std::string RawText() const;
  // The text discovery read and decoded (as Text() gives it, with the count
  // of characters that became "?"), handed over once: whoever shows the file
  // need not read it again. False when discovery holds no text of it.
  // `copy`, when given, receives the disk copy the text was read from,
  // `facts` the facts of the bytes.
  bool TakeText(std::string& text, std::size_t& replaced, TDiskCopy* copy = nullptr, TByteFacts* facts = nullptr);

 private:
  friend class TZuConfigInformation;
  // Kept only until taken, so a set's texts are not held twice.
  std::string FReadText;
  std::size_t FReadLossy = 0;
  TDiskCopy FReadCopy;
  TByteFacts FReadFacts;
  bool FHoldsText = false;
};

class TZuConfigInformation {
 public:
  // Discovery stops when the list would grow past this many files.
  static constexpr int MaxFiles = 4096;

  TZuConfigInformation(std::string fileName, bool followReferences);

  std::string FileName;  // the root file as the caller named it
  std::uint8_t State = 2;
  std::string ConfigVersion;
  std::string Author;
  std::string Date;
  std::string Description;
  int Count = 0;
  bool FollowReferences = true;
  std::vector<std::unique_ptr<TZuFileInformation>> Files;
  // Why the last LoadInformation returned false (code page 1251 text naming
  // the file and the reason), else "".
  std::string Error;

  int ExistingCount() const;
  int AddFile(const std::string& path);
  // Whether an entry names the same file as path: the same file on disk for
  // an existing one, else the same normalised name without regard to ASCII
  // letter case.
  bool Contains(const std::string& path) const { return IndexOfFile(path) >= 0; }
  int IndexOfFile(const std::string& path) const;

  // Lists the root and, with FollowReferences, every file reached through
  // references. Returns false when a file could not be read (the root too
  // when it is missing or a folder) or the set grew past MaxFiles; the file
  // being read then has ReadError set (ListingCut for the cap), Error tells
  // why, and the entries listed so far stay.
  bool LoadInformation();

 private:
  struct TDiscovery;
  // Reads and decodes a file's text, keeps it for TakeText and lists what it
  // references.
  bool Process(int index, TDiscovery& discovery);
};

// Resolves a reference's name (code page 1251 text, "\" or "/" separating)
// against a folder (native, ending with "/"): joined and normalised lexically,
// ".." removing the previous part but never climbing above "/". Empty when
// either argument is empty.
std::string ExpandRelativePath(std::string_view folder, std::string_view relative);
// The same for a name that is native UTF-8 already.
std::string ExpandNativeRelativePath(std::string_view folder, std::string_view relative);

}  // namespace ond
