#include "platform/core/Classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/core/CodePage.h"
#include "platform/core/SafeFileWriter.h"

namespace ond {

// ---------------------------------------------------------------- TStream

std::int64_t TStream::GetSize() {
  const std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError("Stream size can not be changed"); }

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  std::int64_t left = count;
  char buf[65536];
  while (left > 0) {
    const std::int64_t n = left < static_cast<std::int64_t>(sizeof buf) ? left : sizeof buf;
    source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    left -= n;
  }
  return count;
}

std::string TStream::ReadAll() {
  std::string r;
  char buf[65536];
  for (;;) {
    const std::int64_t n = Read(buf, sizeof buf);
    if (n <= 0) break;
    r.append(buf, static_cast<std::size_t>(n));
  }
  return r;
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : FFileName(fileName) {
  if (mode == fmCreate) {
    FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    return;
  }
  int flags = O_RDONLY;
  if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC);
  if (FHandle < 0) throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError("Cannot open file \"" + fileName + "\". Is a directory");
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(FHandle, p + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(FHandle, p + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(FHandle, offset, whence);
}

void TFileStream::SetSize(std::int64_t size) {
  if (::ftruncate(FHandle, size) != 0) throw EStreamError("Stream size can not be changed");
}

// ---------------------------------------------------------------- TMemoryStream

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(FData.size());
  if (count <= 0 || FPos >= size) return 0;
  const std::int64_t n = std::min(count, size - FPos);
  std::memcpy(buffer, FData.data() + FPos, static_cast<std::size_t>(n));
  FPos += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (FPos + count > static_cast<std::int64_t>(FData.size())) FData.resize(static_cast<std::size_t>(FPos + count));
  std::memcpy(FData.data() + FPos, buffer, static_cast<std::size_t>(count));
  FPos += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = FPos;
  if (origin == TSeekOrigin::soEnd) base = static_cast<std::int64_t>(FData.size());
  FPos = std::max<std::int64_t>(0, base + offset);
  return FPos;
}

void TMemoryStream::SetSize(std::int64_t size) {
  size = std::max<std::int64_t>(0, size);
  FData.resize(static_cast<std::size_t>(size));
  if (FPos > size) FPos = size;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPos = 0;
}

void TMemoryStream::LoadFromStream(TStream& s) {
  s.SetPosition(0);
  FData = s.ReadAll();
  FPos = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& s) { s.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size())); }

void ReplaceFileWith(const std::string& fileName, std::string_view data) {
  TFileWrite request;
  request.FileName = fileName;
  request.Data = data;
  const TWriteResult written = WriteFileSafely(request);
  if (!written.Ok()) throw EFCreateError(written.Reason);
}

void TMemoryStream::SaveToFile(const std::string& fileName) { ReplaceFileWith(fileName, FData); }

// ---------------------------------------------------------------- TStrings

void TStrings::Error(const char* msg, int index) {
  throw EListError(std::string(msg) + " (" + std::to_string(index) + ")");
}

void TStrings::Put(int index, const std::string& s) {
  void* obj = GetObject(index);
  Delete(index);
  InsertObject(index, s, obj);
}

void* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, void*) {}

void TStrings::InsertObject(int index, const std::string& s, void* obj) {
  Insert(index, s);
  PutObject(index, obj);
}

int TStrings::Add(const std::string& s) {
  const int n = GetCount();
  Insert(n, s);
  return n;
}

int TStrings::AddObject(const std::string& s, void* obj) {
  const int n = Add(s);
  PutObject(n, obj);
  return n;
}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0; i < GetCount(); ++i)
    if (AnsiSameText(Get(i), s)) return i;
  return -1;
}

int TStrings::IndexOfObject(const void* obj) const {
  for (int i = 0; i < GetCount(); ++i)
    if (GetObject(i) == obj) return i;
  return -1;
}

void TStrings::Exchange(int a, int b) {
  BeginUpdate();
  const std::string sa = Get(a);
  void* oa = GetObject(a);
  Put(a, Get(b));
  PutObject(a, GetObject(b));
  Put(b, sa);
  PutObject(b, oa);
  EndUpdate();
}

void TStrings::Move(int from, int to) {
  if (from == to) return;
  // Both ends are checked before the string is taken out, so a failed move
  // loses nothing.
  if (from < 0 || from >= GetCount()) Error("List index out of bounds", from);
  if (to < 0 || to >= GetCount()) Error("List index out of bounds", to);
  BeginUpdate();
  const std::string s = Get(from);
  void* o = GetObject(from);
  Delete(from);
  InsertObject(to, s, o);
  EndUpdate();
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  for (int i = 0; i < other.GetCount(); ++i) AddObject(other.Get(i), other.GetObject(i));
  EndUpdate();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  BeginUpdate();
  Clear();
  AddStrings(other);
  EndUpdate();
}

std::string TStrings::GetText() const {
  std::string r;
  for (int i = 0; i < GetCount(); ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  Clear();
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    Add(std::string(text.substr(i, j - i)));
    if (j < n && text[j] == '\r') ++j;
    if (j < n && text[j] == '\n') ++j;
    i = j;
  }
  EndUpdate();
}

std::string TStrings::GetCommaText() const {
  std::string r;
  for (int i = 0; i < GetCount(); ++i) {
    if (i) r += ',';
    const std::string s = Get(i);
    const bool quote = s.empty() || s.find_first_of(" ,\"") != std::string::npos;
    if (!quote) {
      r += s;
      continue;
    }
    r += '"';
    for (char c : s) {
      if (c == '"') r += '"';
      r += c;
    }
    r += '"';
  }
  return r;
}

void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  SetText(f.ReadAll());
}

void TStrings::SaveToFile(const std::string& fileName) const {
  ReplaceFileWith(fileName, GetText());
}

// ---------------------------------------------------------------- TStringList

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) Error("List index out of bounds", index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return FList[static_cast<std::size_t>(index)].S;
}

void TStringList::Put(int index, const std::string& s) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index);
  Changing();
  FList[static_cast<std::size_t>(index)].S = s;
  Changed();
}

void* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return FList[static_cast<std::size_t>(index)].Obj;
}

void TStringList::PutObject(int index, void* obj) {
  CheckIndex(index);
  Changing();
  FList[static_cast<std::size_t>(index)].Obj = obj;
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  FList.erase(FList.begin() + index);
  Changed();
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, void* obj) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  if (index < 0 || index > GetCount()) Error("List index out of bounds", index);
  Changing();
  FList.insert(FList.begin() + index, Item{s, obj});
  Changed();
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, void* obj) {
  if (!FSorted) {
    const int n = GetCount();
    InsertObject(n, s, obj);
    return n;
  }
  int index = 0;
  if (Find(s, index)) {
    if (Duplicates == TDuplicates::dupIgnore) return index;
    if (Duplicates == TDuplicates::dupError) throw EListError("String list does not allow duplicates");
  }
  Changing();
  FList.insert(FList.begin() + index, Item{s, obj});
  Changed();
  return index;
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  if (FCaseSensitive) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return AnsiCompareText(a, b);
}

int TStringList::IndexOf(std::string_view s) const {
  if (FSorted) {
    int index = 0;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < GetCount(); ++i)
    if (CompareStrings(FList[static_cast<std::size_t>(i)].S, s) == 0) return i;
  return -1;
}

bool TStringList::Find(std::string_view s, int& index) const {
  int lo = 0, hi = GetCount() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareStrings(FList[static_cast<std::size_t>(mid)].S, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::Move(int from, int to) {
  if (from != to && FSorted) throw EListError("Operation not allowed on sorted list");
  TStrings::Move(from, to);
}

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  Changing();
  std::swap(FList[static_cast<std::size_t>(a)], FList[static_cast<std::size_t>(b)]);
  Changed();
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(FList.begin(), FList.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.S, b.S) < 0; });
  Changed();
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
  // Sort an index permutation so the comparer sees the items in place.
  std::vector<int> idx(FList.size());
  for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<int>(i);
  std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  Changing();
  std::vector<Item> sorted;
  sorted.reserve(FList.size());
  for (int i : idx) sorted.push_back(std::move(FList[static_cast<std::size_t>(i)]));
  FList = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool v) {
  if (v == FSorted) return;
  if (v) Sort();
  FSorted = v;
}

void TStringList::SetCaseSensitive(bool v) {
  if (v == FCaseSensitive) return;
  FCaseSensitive = v;
  if (FSorted) Sort();
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

}  // namespace ond
