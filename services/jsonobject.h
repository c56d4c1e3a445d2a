// JSON values, their parser and writers, validation, merge and formatting.
//
// A value is one reference-counted TJsonObject of nine types, held through
// IJsonObject (a shared pointer). Objects keep their members in an AVL tree
// ordered by a 32-bit hash of the member name, so members are written in
// descending hash order, not in the order they were added. Names and string
// values are UTF-16; single-byte program text (code page 1251) converts at the
// edge. Paths such as "interface.view.language" or "list[2].name" address
// nested values and are evaluated by the parser's own state machine.
//
// Nothing here is thread-safe beyond the reference count.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace ond {

class TStream;
class TBlockArena;
class TJsonObject;
class TJsonArray;
class TJsonTableString;
class TJsonWriter;

using IJsonObject = std::shared_ptr<TJsonObject>;

// Type codes, stored in the value and returned by DataType.
enum TJsonDataType : std::uint8_t {
  jdtNull = 0,
  jdtBoolean = 1,
  jdtDouble = 2,
  jdtCurrency = 3,  // 64-bit integer holding the value times 10000
  jdtInteger = 4,
  jdtObject = 5,
  jdtArray = 6,
  jdtString = 7,
  jdtMethod = 8,
};

// A method value: receives the value that holds it, the parameter value and a
// result reference it may fill.
using TJsonMethod = std::function<void(const IJsonObject& self, const IJsonObject& params, IJsonObject& result)>;

// A path or name given either as UTF-16 or as code page 1251 text.
class TJsonText {
 public:
  TJsonText(std::u16string_view s) : FView(s) {}
  TJsonText(const char16_t* s) : FView(s) {}
  TJsonText(const std::u16string& s) : FView(s) {}
  TJsonText(std::string_view ansi);
  TJsonText(const char* ansi) : TJsonText(std::string_view(ansi)) {}
  TJsonText(const std::string& ansi) : TJsonText(std::string_view(ansi)) {}
  TJsonText(const TJsonText&) = delete;
  TJsonText& operator=(const TJsonText&) = delete;
  std::u16string_view View() const { return FView; }

 private:
  std::u16string FOwned;
  std::u16string_view FView;
};

// ---------------------------------------------------------------------------
// Member table: an AVL tree of (name, value) entries.

class TJsonAvlEntry {
 public:
  TJsonAvlEntry(std::u16string name, IJsonObject value);
  // An entry made with new, or one a parser placed in its table's arena;
  // delete gives each back where it came from.
  void operator delete(TJsonAvlEntry* entry, std::destroying_delete_t) noexcept;
  // h = h * 129 + unit + 0x9E370001 over the UTF-16 units, modulo 2^32.
  static std::uint32_t Hash(std::u16string_view name) noexcept;

  const std::u16string& GetName() const { return FName; }
  std::uint32_t GetHash() const { return FHash; }
  const IJsonObject& GetValue() const { return FValue; }
  void SetValue(IJsonObject v) { FValue = std::move(v); }

 private:
  friend class TJsonAvlTree;
  friend class TJsonAvlIterator;
  friend struct AvlLinks;
  friend struct TJsonMachine;
  friend class TJsonTableString;
  TJsonAvlEntry* FChild[2] = {nullptr, nullptr};  // [0] earlier, [1] later in iteration order
  std::int8_t FBalance = 0;                        // height(later) - height(earlier)
  bool FInArena = false;                           // cut from its table's arena, not from the heap
  std::uint32_t FHash;
  std::u16string FName;
  IJsonObject FValue;
};

// How Search answers when the name is absent.
enum class TJsonSearchMode {
  Exact,
  // The nearest entry before / after the name in iteration order.
  Before,
  After,
};

// Entries in iteration order: descending unsigned hash, equal hashes by
// ascending name (UTF-16 units compared as unsigned, a prefix first).
class TJsonAvlTree {
 public:
  // Enough for any tree that fits in memory (an AVL tree of height 64 would
  // need more than 2^44 entries).
  static constexpr int MaxHeight = 64;

  TJsonAvlTree() = default;
  virtual ~TJsonAvlTree();
  TJsonAvlTree(const TJsonAvlTree&) = delete;
  TJsonAvlTree& operator=(const TJsonAvlTree&) = delete;

  int GetCount() const { return FCount; }
  // Takes the entry. When an entry of the same name exists it keeps its place
  // and takes the new value; the new entry is freed with the old value. Returns
  // the entry now in the tree.
  TJsonAvlEntry* Insert(TJsonAvlEntry* entry);
  TJsonAvlEntry* Search(std::u16string_view name, TJsonSearchMode mode = TJsonSearchMode::Exact) const;
  // Removes and frees the entry; false when absent.
  bool Delete(std::u16string_view name);
  // Frees every entry (no recursion, whatever the shape).
  void Clear(bool all = false);
  // Height of the tree (0 when empty); walks every entry.
  int Height() const;

 protected:
  virtual void DeleteEntry(TJsonAvlEntry* entry, bool all);
  static int CompareName(std::uint32_t hash, std::u16string_view name, const TJsonAvlEntry* e) noexcept;

 private:
  friend class TJsonAvlIterator;
  TJsonAvlEntry* FRoot = nullptr;
  int FCount = 0;
};

// The member table of an object value.
class TJsonTableString : public TJsonAvlTree {
 public:
  TJsonTableString() = default;
  ~TJsonTableString() override;
  // Puts (or replaces) the value of a member.
  void Put(std::u16string name, IJsonObject value);
  // The value of a member, nil when absent.
  IJsonObject Get(std::u16string_view name) const;
  bool Exists(std::u16string_view name) const { return Search(name) != nullptr; }
  // Removes a member and hands back its value (nil when absent).
  IJsonObject Remove(std::u16string_view name);
  // Removes the members whose value is nil; with all, packs the others too.
  void Pack(bool all);
  std::vector<std::u16string> GetNames() const;
  std::vector<IJsonObject> GetValues() const;

 protected:
  void DeleteEntry(TJsonAvlEntry* entry, bool all) override;

 private:
  friend struct TJsonMachine;
  // The arena the parser cut this table's entries from: held by the table
  // for all of them, until the last is gone.
  TBlockArena* FArena = nullptr;
};

// Walks a tree in iteration order. The tree must not change while walking.
class TJsonAvlIterator {
 public:
  explicit TJsonAvlIterator(const TJsonAvlTree& tree) : FTree(tree) {}
  // Positions on the first entry (or the one named, or the nearest by mode).
  void First();
  void Search(std::u16string_view name, TJsonSearchMode mode = TJsonSearchMode::Exact);
  void Next();
  TJsonAvlEntry* GetCurrent() const { return FDepth >= 0 ? FPath[FDepth] : nullptr; }

 private:
  const TJsonAvlTree& FTree;
  int FDepth = -1;
  TJsonAvlEntry* FPath[TJsonAvlTree::MaxHeight] = {};
};

// ---------------------------------------------------------------------------
// Array values.

class TJsonArray {
 public:
  // Indexes above this are refused (they would not fit the 32-bit length).
  static constexpr std::int64_t MaxIndex = 0x7FFFFFFE;

  int GetLength() const { return static_cast<int>(FItems.size()); }
  // The element at i, nil outside 0..length-1.
  IJsonObject Get(std::int64_t i) const;
  // Stores at i, growing with nil slots; false when i is outside 0..MaxIndex
  // or memory runs out (the array is then unchanged).
  bool Put(std::int64_t i, IJsonObject v);
  // Appends; returns the index, -1 when the array cannot grow.
  int Add(IJsonObject v);
  // Removes the element at i and hands it back; later elements move down.
  IJsonObject Delete(std::int64_t i);
  void Clear(bool all);
  // Removes nil elements keeping the order; with all, packs the others too.
  void Pack(bool all);

 private:
  std::vector<IJsonObject> FItems;
};

// ---------------------------------------------------------------------------
// Values.

class TJsonEnumerator;

// Violation codes reported by Validate.
enum TJsonValidateError : std::uint8_t {
  jveSchema = 0,          // a malformed "enum", "length" or "range" in the schema (no path)
  jveFieldIsRequired = 1,
  jveInvalidDataType = 2,
  jveFieldNotFound = 4,   // a member the mapping has no schema for
  jveDuplicateEntry = 5,  // an element equal to an earlier one where the element schema says "unique"
  jveValueNotInEnum = 6,
  jveInvalidLength = 7,
  jveInvalidRange = 8,
};
using TJsonOnValidateError = std::function<void(void* sender, TJsonValidateError error, const std::u16string& path)>;

// Results of Compare.
enum TJsonCompareResult : std::uint8_t { jcrLess = 0, jcrEqual = 1, jcrGreater = 2, jcrNotComparable = 3 };

class TJsonObject : public std::enable_shared_from_this<TJsonObject> {
  struct Key {};

 public:
  // Only for std::make_shared inside the Create functions.
  TJsonObject(Key, TJsonDataType type);
  ~TJsonObject();
  TJsonObject(const TJsonObject&) = delete;
  TJsonObject& operator=(const TJsonObject&) = delete;

  static IJsonObject Create(TJsonDataType type = jdtObject);
  static IJsonObject Create(bool v);
  static IJsonObject Create(std::int64_t v);
  static IJsonObject Create(int v) { return Create(static_cast<std::int64_t>(v)); }
  static IJsonObject Create(double v);
  // scaled: the value times 10000.
  static IJsonObject CreateCurrency(std::int64_t scaled);
  static IJsonObject Create(std::u16string v);
  static IJsonObject Create(const char16_t* v) { return Create(std::u16string(v)); }
  static IJsonObject Create(TJsonMethod m);
  static IJsonObject Create(const char*) = delete;  // say which: AnsiToUtf16 first

  TJsonDataType DataType() const { return FDataType; }
  bool IsType(TJsonDataType t) const { return FDataType == t; }
  bool GetProcessing() const { return FProcessing; }
  void SetProcessing(bool v) { FProcessing = v; }
  void* GetDataPtr() const { return FDataPtr; }
  void SetDataPtr(void* p) { FDataPtr = p; }

  // Conversions; they never fail (unreadable text gives 0).
  bool AsBoolean() const;
  std::int64_t AsInteger() const;
  double AsDouble() const;
  std::int64_t AsCurrency() const;  // times 10000
  std::u16string AsString() const;
  std::string AsAnsiString() const { return ToAnsi(AsString()); }
  TJsonArray* AsArray() const { return FDataType == jdtArray ? FValue.a : nullptr; }
  TJsonTableString* AsObject() const { return FDataType == jdtObject ? FValue.o : nullptr; }
  const TJsonMethod* AsMethod() const { return FDataType == jdtMethod ? FValue.m : nullptr; }

  void Clear(bool all = false);
  void Pack(bool all = false);

  // Path accessors. Readers accept trailing text after the path; a missing
  // value reads as false, 0, "" or nil. Writers create missing objects on the
  // way and refuse malformed paths (they then return false).
  IJsonObject GetPathValue(const TJsonText& path);
  bool SetPathValue(const TJsonText& path, IJsonObject v);
  bool GetPathBool(const TJsonText& path);
  bool SetPathBool(const TJsonText& path, bool v);
  std::int64_t GetPathInt(const TJsonText& path);
  bool SetPathInt(const TJsonText& path, std::int64_t v);
  double GetPathDouble(const TJsonText& path);
  bool SetPathDouble(const TJsonText& path, double v);
  std::int64_t GetPathCurrency(const TJsonText& path);
  bool SetPathCurrency(const TJsonText& path, std::int64_t scaled);
  std::u16string GetPathString(const TJsonText& path);
  bool SetPathString(const TJsonText& path, std::u16string v);
  const TJsonMethod* GetPathMethod(const TJsonText& path);
  bool SetPathMethod(const TJsonText& path, TJsonMethod m);
  TJsonArray* GetPathArray(const TJsonText& path);
  // Like GetPathValue, but a new null value instead of nil.
  IJsonObject GetPathValueOrNull(const TJsonText& path);
  // Puts v, or a new null value when v is nil.
  bool SetPathValueOrNull(const TJsonText& path, IJsonObject v);
  // Creates the path with a new value of the type at its end when missing;
  // returns the value there.
  IJsonObject EnsurePath(const TJsonText& path, TJsonDataType type);
  // Removes the value at the path and hands it back.
  IJsonObject Delete(const TJsonText& path);

  // Writing. Write returns the result of the last Append (negative: failure).
  std::int64_t Write(TJsonWriter& writer, bool indent, bool escape, int level);
  // At the stream's position, one byte per character when escape is on, else
  // UTF-16 LE after a byte-order mark. Returns the stream's size, 0 (stream at
  // position 0) on failure.
  std::int64_t SaveTo(TStream& stream, bool indent, bool escape);
  // Replaces the file safely; on failure the old file stays, the result is 0
  // and the reason (program text naming the file) goes to reason when given;
  // else the file's size.
  std::int64_t SaveTo(const std::string& fileName, bool indent, bool escape, std::string* reason = nullptr);
  // Sends over a connected socket, always escaped; the bytes sent, 0 on failure.
  std::int64_t SaveTo(int socket, bool indent, bool escape);
  std::int64_t CalcSize(bool indent, bool escape);
  std::u16string AsJsonText(bool indent = false, bool escape = true);

  // Copies, merges, templates and comparisons.
  // A deep copy; a value met again inside itself is copied as nil.
  IJsonObject Clone();
  void Merge(const IJsonObject& other, bool reference);
  void Merge(const TJsonText& text);
  // Replaces every "<begin>path<end>" in the text by GetPathString(path).
  std::u16string Format(std::u16string_view text, char16_t beginSep, char16_t endSep);
  TJsonCompareResult Compare(const IJsonObject& other);
  TJsonCompareResult Compare(const TJsonText& text);
  // Calls the method at the path (with the value holding it and the parameter).
  IJsonObject Call(const TJsonText& path, const IJsonObject& param = nullptr);
  IJsonObject Call(const TJsonText& path, const TJsonText& paramText);
  // Checks this value against a schema ("type", "required", "mapping",
  // "sequence", "enum", "length", "range", "unique", "inherit"; definitions are
  // schemas with a "name"). Each violation reaches the callback with the path
  // of the offending value, written like a path here ("a.b[2]", "" for this
  // value). Only a missing value fails "required"; a null written in the text
  // is a value like any other and must have the schema's type (no type,
  // "scalar" and "any" take it; every other type reports code 2, invalid data
  // type). True when none.
  bool Validate(const IJsonObject& schema, const IJsonObject& definitions = nullptr,
                const TJsonOnValidateError& callback = nullptr, void* sender = nullptr);
  bool Validate(const TJsonText& schemaText, const TJsonText& definitionsText = u"",
                const TJsonOnValidateError& callback = nullptr, void* sender = nullptr);
  std::unique_ptr<TJsonEnumerator> GetEnumerator();

  static std::string ToAnsi(std::u16string_view s);

 private:
  IJsonObject EvalPath(std::u16string_view path, bool strict, bool partial, unsigned options,
                       const IJsonObject& put, TJsonDataType type);
  bool PutPath(const TJsonText& path, IJsonObject v);

  friend struct TJsonMachine;
  // A value cut from a parse's arena (the heap without one).
  static IJsonObject CreateIn(TBlockArena* arena, TJsonDataType type);

  bool FProcessing = false;
  TJsonDataType FDataType;
  void* FDataPtr = nullptr;
  union {
    bool b;
    double d;
    std::int64_t i;  // integer and currency
    TJsonTableString* o;
    TJsonArray* a;
    TJsonMethod* m;
  } FValue;
  std::u16string FString;
};

// Helpers that take a possibly nil value as null.
inline TJsonDataType JsonDataType(const IJsonObject& v) { return v ? v->DataType() : jdtNull; }
inline bool JsonIsType(const IJsonObject& v, TJsonDataType t) { return JsonDataType(v) == t; }

// Steps over the members of an object or the elements of an array.
class TJsonEnumerator {
 public:
  explicit TJsonEnumerator(IJsonObject value);
  ~TJsonEnumerator();
  bool MoveNext();
  // The current member's value or element (nil before the first MoveNext).
  IJsonObject GetCurrent() const;

 private:
  IJsonObject FValue;
  int FIndex = -1;
  std::unique_ptr<TJsonAvlIterator> FIterator;
};

// ---------------------------------------------------------------------------
// Parser.

// Options of path evaluation.
enum : unsigned {
  jpoCreatePath = 1,
  jpoPutValue = 2,
  jpoDelete = 4,
  jpoCallMethod = 8,
};

// Error codes of the tokenizer.
enum : int {
  jteSuccess = 0,
  jteMoreInput = 1,       // the text ended inside a value (more may follow)
  jteDepth = 2,           // nesting deeper than 32 levels
  jteEndOfText = 3,       // the text ended before the value was complete
  jteArraySeparator = 8,  // neither "," nor "]" after an element
  jteMemberName = 9,      // forbidden start of an unquoted name, or one in strict mode
  jteColon = 10,
  jteObjectSeparator = 11,
  jteUnquoted = 12,       // a short \u or \x escape, or an unquoted value in strict mode
  jteComment = 13,
  jtePathObject = 14,     // "." on a missing value or a non-object
  jtePathArray = 15,      // "[" on a missing value or a non-array, or no "]"
  jtePathCall = 16,       // a call on a non-method, not allowed, or without a result
  jtePathIndex = 17,      // an index that is not an integer 0 .. 2^31-2
  jteNumber = 18,         // a malformed number, or one too large for a double
};

class TJsonTokenizer {
 public:
  static constexpr int MaxDepth = 32;

  TJsonTokenizer();
  ~TJsonTokenizer();
  TJsonTokenizer(const TJsonTokenizer&) = delete;
  TJsonTokenizer& operator=(const TJsonTokenizer&) = delete;
  void Reset();

  int GetError() const { return FError; }
  // Characters consumed so far.
  std::int64_t GetCharOffset() const { return FCharOffset; }
  int GetLine() const { return FLine; }
  int GetColumn() const { return FColumn; }
  // The top-level value is complete and the run has ended.
  bool GetStopped() const { return FStopped; }
  // ... at the end of the input rather than before a further character.
  bool GetStoppedAtEnd() const { return FStoppedAtEnd; }

  struct Level;

 private:
  friend IJsonObject ParseText(TJsonTokenizer&, const char16_t*, std::int64_t, bool, bool, const IJsonObject&,
                               unsigned, const IJsonObject&, TJsonDataType);
  friend struct TJsonMachine;

  std::u16string FBuffer;  // the current token
  int FDepth = 0;
  int FTokenPos = 0;
  std::int64_t FCharOffset = 0;
  int FError = jteSuccess;
  char16_t FEscapeChar = 0;
  char16_t FQuote = 0;
  std::uint8_t FEscapeReturn = 0;
  const char* FLiteral = nullptr;
  bool FStopped = false;
  bool FStoppedAtEnd = false;
  bool FCalled = false;
  int FArgCount = 0;
  IJsonObject FChild;  // the value a finished level hands to its parent
  std::unique_ptr<Level[]> FLevels;
  // The memory of the values and members a document parse makes, held while
  // the tokenizer reads (see TBlockArena); made with the first of them.
  TBlockArena* FArena = nullptr;
  int FLine = 1;
  int FColumn = 0;
};

// Runs the machine over length characters (-1: up to a character 0),
// continuing from the tokenizer's state. last says that the input ends after
// them: a number, literal or unquoted word then completes and a line comment
// ends. With self the text is a path evaluated against it with the options.
// Returns the finished value, or nil while incomplete or on error.
IJsonObject ParseText(TJsonTokenizer& tok, const char16_t* text, std::int64_t length, bool last, bool strict,
                      const IJsonObject& self = nullptr, unsigned options = 0, const IJsonObject& put = nullptr,
                      TJsonDataType type = jdtNull);
// One run over the whole text. Without partial, text after the first
// complete value makes the result nil.
IJsonObject ParseString(std::u16string_view text, bool strict = false, bool partial = true,
                        const IJsonObject& self = nullptr, unsigned options = 0, const IJsonObject& put = nullptr,
                        TJsonDataType type = jdtNull);
// Bytes one per character, or UTF-16 LE after FF FE (an odd byte at the end
// is an error); read in blocks.
IJsonObject ParseStream(TStream& stream, bool strict = false, bool partial = true, const IJsonObject& self = nullptr,
                        unsigned options = 0, const IJsonObject& put = nullptr, TJsonDataType type = jdtNull);
IJsonObject ParseFile(const std::string& fileName, bool strict = false, bool partial = true,
                      const IJsonObject& self = nullptr, unsigned options = 0, const IJsonObject& put = nullptr,
                      TJsonDataType type = jdtNull);
// Relaxed and partial.
IJsonObject ParseJson(std::u16string_view text);
IJsonObject ParseJson(std::string_view ansi);

// ---------------------------------------------------------------------------
// Writers.

class TJsonWriter {
 public:
  virtual ~TJsonWriter() = default;
  // Writes count characters; the number written, negative on failure.
  virtual std::int64_t Append(const char16_t* buf, std::int64_t count) = 0;
  // A character-0-terminated text.
  std::int64_t Append(const char16_t* text);
  virtual void Reset() = 0;
  // Hands buffered output on; negative on failure.
  virtual std::int64_t Flush() { return 0; }
};

class TJsonWriterString : public TJsonWriter {
 public:
  using TJsonWriter::Append;
  TJsonWriterString() { FData.reserve(32); }
  std::int64_t Append(const char16_t* buf, std::int64_t count) override;
  void Reset() override { FData.clear(); }
  // Removes trailing characters 10, 13 and 32.
  void TrimRight();
  const std::u16string& Data() const { return FData; }
  std::u16string& Data() { return FData; }
  std::int64_t GetLength() const { return static_cast<std::int64_t>(FData.size()); }

 private:
  std::u16string FData;
};

// Output into a stream (not owned). Writes are gathered and handed on in
// blocks; every byte is written or the writer fails for good.
class TJsonWriterStream : public TJsonWriter {
 public:
  using TJsonWriter::Append;
  explicit TJsonWriterStream(TStream& stream) : FStream(stream) {}
  ~TJsonWriterStream() override;
  void Reset() override;
  std::int64_t Flush() override;

 protected:
  std::int64_t Put(const void* bytes, std::size_t n);
  TStream& FStream;
  std::string FPending;
  bool FFailed = false;
};

// One byte per character: the low 8 bits of each unit.
class TJsonAnsiWriterStream : public TJsonWriterStream {
 public:
  using TJsonWriterStream::TJsonWriterStream;
  using TJsonWriter::Append;
  std::int64_t Append(const char16_t* buf, std::int64_t count) override;
};

// UTF-16 LE, no byte-order mark.
class TJsonUnicodeWriterStream : public TJsonWriterStream {
 public:
  using TJsonWriterStream::TJsonWriterStream;
  using TJsonWriter::Append;
  std::int64_t Append(const char16_t* buf, std::int64_t count) override;
};

// Counts characters.
class TJsonWriterFake : public TJsonWriter {
 public:
  using TJsonWriter::Append;
  std::int64_t Append(const char16_t*, std::int64_t count) override { return FCount += count; }
  void Reset() override { FCount = 0; }
  std::int64_t GetCount() const { return FCount; }

 private:
  std::int64_t FCount = 0;
};

// One byte per character to a connected socket, never raising SIGPIPE.
class TJsonWriterSock : public TJsonWriter {
 public:
  using TJsonWriter::Append;
  explicit TJsonWriterSock(int socket) : FSocket(socket) {}
  std::int64_t Append(const char16_t* buf, std::int64_t count) override;
  void Reset() override { FTotal = 0; }
  std::int64_t GetTotal() const { return FTotal; }

 private:
  int FSocket;
  std::int64_t FTotal = 0;
  bool FFailed = false;
};

}  // namespace ond
