// Streams and string lists: the small part of the original class library the
// program is written against, std only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EStreamError, Exception);
OND_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
OND_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);
OND_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);
OND_DECLARE_EXCEPTION(EReadError, EStreamError);
OND_DECLARE_EXCEPTION(EWriteError, EStreamError);

// Replaces a file with bytes held whole in memory through the safe file
// writer; a failure keeps the old file and raises EFCreateError with the
// reason.
void ReplaceFileWith(const std::string& fileName, std::string_view data);

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  virtual std::int64_t GetSize();
  virtual void SetSize(std::int64_t size);

  // Read or write exactly count bytes, else EReadError "Stream read error" /
  // EWriteError "Stream write error".
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source (count 0: all of it from its start).
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
  // The rest of the stream from the current position.
  std::string ReadAll();
};

enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmCreate = 0xFF00,
};

// A file by its native (UTF-8) path. fmCreate creates or truncates.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, unsigned mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  const std::string& GetFileName() const { return FFileName; }
  int Handle() const { return FHandle; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t size) override;
  void Clear();
  void LoadFromStream(TStream& s);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& s);
  void SaveToFile(const std::string& fileName);
  char* Memory() { return FData.data(); }
  const std::string& Data() const { return FData; }

 protected:
  std::string FData;
  std::int64_t FPos = 0;
};

// A memory stream over a byte string.
class TStringStream : public TMemoryStream {
 public:
  TStringStream() = default;
  explicit TStringStream(std::string data) { FData = std::move(data); }
  const std::string& DataString() const { return FData; }
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// Abstract list of strings with an object per item, as the class library's.
// Objects are opaque pointer-sized values; the list never frees them.
class TStrings {
 public:
  virtual ~TStrings() = default;

  virtual int GetCount() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual void* GetObject(int index) const;
  virtual void PutObject(int index, void* obj);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, void* obj);
  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, void* obj);
  virtual int IndexOf(std::string_view s) const;
  int IndexOfObject(const void* obj) const;
  virtual void Exchange(int a, int b);
  virtual void Move(int from, int to);
  void AddStrings(const TStrings& other);
  virtual void Assign(const TStrings& other);

  std::string operator[](int index) const { return Get(index); }

  // Lines joined with CR LF, each line followed by one.
  virtual std::string GetText() const;
  // Splits at CR LF, LF or lone CR; a final line break adds no empty line.
  virtual void SetText(std::string_view text);
  std::string GetCommaText() const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 protected:
  virtual void SetUpdateState(bool /*updating*/) {}
  [[noreturn]] static void Error(const char* msg, int index);

 private:
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
 public:
  int GetCount() const override { return static_cast<int>(FList.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* obj) override;
  void Clear() override;
  void Delete(int index) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, void* obj) override;
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, void* obj) override;
  int IndexOf(std::string_view s) const override;
  void Exchange(int a, int b) override;
  // Refused on a sorted list, which would lose its order.
  void Move(int from, int to) override;
  using TStrings::SetText;

  // Sorted lists keep their order on Add and find by binary search.
  bool Find(std::string_view s, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);
  bool GetSorted() const { return FSorted; }
  void SetSorted(bool v);
  bool GetCaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool v);
  TDuplicates Duplicates = TDuplicates::dupIgnore;

  std::function<void(TStringList*)> OnChange;
  std::function<void(TStringList*)> OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  void Changed();
  void Changing();
  int CompareStrings(std::string_view a, std::string_view b) const;

 private:
  struct Item {
    std::string S;
    void* Obj = nullptr;
  };
  void CheckIndex(int index) const;
  std::vector<Item> FList;
  bool FSorted = false;
  bool FCaseSensitive = false;
};

}  // namespace ond
