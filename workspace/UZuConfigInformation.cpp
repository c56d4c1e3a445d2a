#include "workspace/UZuConfigInformation.h"

#include <sys/stat.h>

#include <exception>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/UAnsiZuParser.h"

namespace ond {

namespace {

// A reference's name found in the file's decoded text (where bytes that are
// not UTF-8 and characters without a code page 1251 form became "?"), as a
// native path part. A zero byte has no place in a name either and becomes
// "?" too.
std::string NativeReferenceName(std::string_view ansi) {
  std::string text(ansi);
  for (char& c : text)
    if (c == '\0') c = DefaultAnsiChar;
  return AnsiToUtf8(text);
}

// What makes two names one file: device and inode of an existing file (so a
// symbolic link, a hard link and every spelling of its path agree), or else
// the normalised name folded to ASCII lower case. The path must already be
// normalised (and, for a missing file, resolved against the disk's letter case).
std::string ResolvedIdentity(const std::string& path) {
  if (!PathHasNul(path)) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        std::string key(1, '#');
        key += std::to_string(static_cast<unsigned long long>(st.st_dev));
        key += ':';
        key += std::to_string(static_cast<unsigned long long>(st.st_ino));
        return key;
      }
    } else if (FileExistsEx(path)) {
      // Listed in its folder but not open to stat: the canonical path serves.
      std::string real = RealPath(path);
      if (!real.empty()) return real;
    }
  }
  std::string key = AsciiLowerCase(path);
  key.insert(key.begin(), '?');
  return key;
}

std::string FileIdentity(const std::string& path, TFolderListings& listings) {
  if (path.empty()) return "?";
  return ResolvedIdentity(ResolveFileCase(NormalizePath(path), &listings));
}

// File name without folder and extension, as program text.
std::string DisplayName(const std::string& path) {
  return Utf8ToAnsi(ChangeFileExt(ond::ExtractFileName(path), ""));
}

std::string ErrorText(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Exception*>(&e)) return own->Message;
  return e.what();
}

}  // namespace

// ---------------------------------------------------------------------------
// TZuFileInformation

TZuFileInformation::TZuFileInformation(std::string fileName, std::string name)
    : FileName(std::move(fileName)), Name(std::move(name)) {
  Missing = !FileExistsEx(FileName);
}

std::string TZuFileInformation::ExtractFileName() const { return ond::ExtractFileName(FileName); }

bool TZuFileInformation::HasBackup() const { return FileExistsEx(BackupFileName()); }

int TZuFileInformation::AddRef(const std::string& path) {
  Refs.push_back(path);
  RefCount = static_cast<int>(Refs.size());
  return RefCount - 1;
}

int TZuFileInformation::IndexOfRef(std::string_view path) const {
  for (std::size_t i = 0; i < Refs.size(); ++i)
    if (SameText(Refs[i], path)) return static_cast<int>(i);
  return -1;
}

std::string TZuFileInformation::RawText() const {
  if (Missing) return {};
  std::string bytes = ReadFileText(FileName);
  TEncoding* utf8 = TEncoding::UTF8();
  bytes.erase(0, static_cast<std::size_t>(GetBufferEncoding(bytes, utf8)));
  return bytes;
}

std::string TZuFileInformation::Text() const { return Utf8ToAnsi(RawText()); }

bool TZuFileInformation::TakeText(std::string& text, std::size_t& replaced, TDiskCopy* copy, TByteFacts* facts) {
  if (!FHoldsText) return false;
  text = std::move(FReadText);
  replaced = FReadLossy;
  if (copy) *copy = FReadCopy;
  if (facts) *facts = FReadFacts;
  FReadText = std::string();
  FHoldsText = false;
  return true;
}

// ---------------------------------------------------------------------------
// TZuConfigInformation

struct TZuConfigInformation::TDiscovery {
  struct Target {
    std::string Path;      // resolved against the disk's letter case
    std::string Identity;
  };
  std::unordered_map<std::string, int> Listed;       // identity -> index in Files
  std::unordered_map<std::string, Target> Targets;   // expanded name -> target, looked up once
  TFolderListings Listings;                          // each folder read once per discovery

  const Target& TargetOf(const std::string& expanded) {
    auto it = Targets.find(expanded);
    if (it == Targets.end()) {
      // Most names are spelled as on disk: one stat settles them.
      std::string id = ResolvedIdentity(expanded);
      std::string path = expanded;
      if (id[0] == '?') {
        path = ResolveFileCase(expanded, &Listings);
        if (path != expanded) id = ResolvedIdentity(path);
      }
      it = Targets.emplace(expanded, Target{std::move(path), std::move(id)}).first;
    }
    return it->second;
  }
};

TZuConfigInformation::TZuConfigInformation(std::string fileName, bool followReferences)
    : FileName(std::move(fileName)), FollowReferences(followReferences) {}

int TZuConfigInformation::ExistingCount() const {
  int n = 0;
  for (const auto& f : Files)
    if (!f->Missing) ++n;
  return n;
}

int TZuConfigInformation::AddFile(const std::string& path) {
  Files.push_back(std::make_unique<TZuFileInformation>(path, ""));
  Count = static_cast<int>(Files.size());
  return Count - 1;
}

int TZuConfigInformation::IndexOfFile(const std::string& path) const {
  TFolderListings listings;  // each folder read once for the whole lookup
  const std::string wanted = FileIdentity(path, listings);
  for (std::size_t i = 0; i < Files.size(); ++i)
    if (FileIdentity(Files[i]->FileName, listings) == wanted) return static_cast<int>(i);
  return -1;
}

bool TZuConfigInformation::Process(int index, TDiscovery& d) {
  TZuFileInformation& e = *Files[static_cast<std::size_t>(index)];
  if (e.Missing) return true;
  // Decoded once, in the buffer it was read into, exactly as a panel decodes
  // it; the panel takes this text instead of reading the file again.
  std::size_t lossy = 0;
  std::string text = LoadTextFile(e.FileName, TEncoding::UTF8(), &lossy, std::size_t{1} << 20, &e.FReadCopy,
                                  &e.FReadFacts);
  if (index == 0) {
    const std::vector<std::string> values =
        GetKeyValues(text, {"configVersion", "author", "date", "description"});
    ConfigVersion = values[0];
    Author = values[1];
    Date = values[2];
    Description = values[3];
  }
  // The scanner looks only at ASCII (quotes, braces, keys) and folds only
  // ASCII letters; decoding keeps every ASCII byte and makes no other byte
  // ASCII but "?", which the scanner passes over. So it finds the same
  // references in the text as in the file's bytes, and the names come out
  // decoded as the panel decodes them.
  const std::vector<std::string> names = FollowReferences ? ScanReferences(text) : std::vector<std::string>();
  e.FReadText = std::move(text);
  e.FReadLossy = lossy;
  e.FHoldsText = true;
  e.FoundRefs = static_cast<int>(names.size());

  // Each referenced file once, however it was spelled.
  const std::string folder = ExtractFilePath(e.FileName);
  std::vector<std::string> identities;
  std::unordered_set<std::string> seen;
  for (const std::string& n : names) {
    const std::string expanded = ExpandNativeRelativePath(folder, NativeReferenceName(n));
    if (expanded.empty()) continue;
    const TDiscovery::Target& t = d.TargetOf(expanded);
    if (!seen.insert(t.Identity).second) continue;
    e.AddRef(t.Path);
    identities.push_back(t.Identity);
  }

  for (std::size_t r = 0; r < e.Refs.size(); ++r) {
    const auto it = d.Listed.find(identities[r]);
    if (it != d.Listed.end()) {
      ++Files[static_cast<std::size_t>(it->second)]->Referenced;
      continue;
    }
    if (Count >= MaxFiles) {
      // Listing stops inside this file: what it references is not all there,
      // but the file itself was read and is shown.
      e.ListingCut = true;
      Error = LangFill(leSetTooLarge, {IntToStr(MaxFiles), Utf8ToAnsi(e.FileName)});
      return false;
    }
    // `e` stays valid: entries are owned through pointers.
    const int added = AddFile(e.Refs[r]);
    TZuFileInformation& f = *Files[static_cast<std::size_t>(added)];
    f.Name = DisplayName(f.FileName);
    f.Referenced = 1;
    d.Listed.emplace(identities[r], added);
  }
  return true;
}

bool TZuConfigInformation::LoadInformation() {
  Files.clear();
  Count = 0;
  ConfigVersion.clear();
  Author.clear();
  Date.clear();
  Description.clear();
  Error.clear();

  // The root as a full, normalised path in the letter case of the disk, so
  // that every reference resolves against a real folder.
  std::string root = FileName;
  if (!root.empty() && !PathHasNul(root)) {
    if (!IsAbsolutePath(root)) {
      std::error_code ec;
      const std::string cwd = std::filesystem::current_path(ec).string();
      if (!ec) root = JoinPath(cwd, root);
    }
    root = ResolveFileCase(NormalizePath(root));
  }
  TDiscovery d;
  AddFile(root);
  Files[0]->Name = DisplayName(root);
  d.Listed.emplace(ResolvedIdentity(root), 0);

  try {
    // A root that is not there (or is a folder) is listed as missing, like
    // any other file, and has nothing to scan; the window tells the user.
    if (!Process(0, d)) return false;
  } catch (const std::exception& e) {
    Files[0]->ReadError = true;
    Error = ErrorText(e);
    return false;
  }

  if (!FollowReferences) return true;
  // The list grows while it is walked, which makes the order breadth-first.
  for (int i = 1; i < Count; ++i) {
    TZuFileInformation& f = *Files[static_cast<std::size_t>(i)];
    try {
      if (!Process(i, d)) return false;
    } catch (const std::exception& e) {
      f.ReadError = true;
      Error = ErrorText(e);
      return false;
    }
  }
  return true;
}

std::string ExpandNativeRelativePath(std::string_view folder, std::string_view relative) {
  if (folder.empty() || relative.empty()) return {};
  std::string joined(folder);
  joined += '/';
  // A reference is always relative to the folder, even when it begins with a
  // separator.
  joined += relative;
  return NormalizePath(joined);
}

std::string ExpandRelativePath(std::string_view folder, std::string_view relative) {
  return ExpandNativeRelativePath(folder, AnsiToUtf8(relative));
}

}  // namespace ond
