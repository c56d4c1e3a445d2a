// The exchangeable search engine of the editor and its plain-text engine.
// The editor hands an engine a pattern and option bits, asks it for every
// match in one line at a time, and lets it turn a found occurrence into its
// replacement.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/SysUtils.h"
#include "search/LiteralScan.h"

namespace ond {

// One byte of search flags; the engines read only the first two.
using TOndSearchOptions = std::uint8_t;
enum : TOndSearchOptions {
  ssoMatchCase = 0x01,
  ssoWholeWord = 0x02,
  ssoBackwards = 0x04,
  ssoEntireScope = 0x08,
  ssoSelectedOnly = 0x10,
  ssoReplace = 0x20,
  ssoReplaceAll = 0x40,
  ssoPrompt = 0x80,
};

OND_DECLARE_EXCEPTION(EOndEditSearchError, Exception);
// The runtime's range error, raised for a pattern the plain engine cannot hold.
OND_DECLARE_EXCEPTION(ERangeError, Exception);

class TOndEditSearchCustom {
 public:
  TOndEditSearchCustom() = default;
  TOndEditSearchCustom(const TOndEditSearchCustom&) = delete;
  TOndEditSearchCustom& operator=(const TOndEditSearchCustom&) = delete;
  // Tells those that asked that the engine goes.
  virtual ~TOndEditSearchCustom();
  // Gone runs when the engine goes, so that a Client holding it lets go;
  // a Client asks once and takes its request back when it lets go first.
  void FreeNotification(void* Client, std::function<void()> Gone);
  void RemoveFreeNotification(void* Client);
  virtual std::string GetPattern() const = 0;
  virtual void SetPattern(const std::string& value) = 0;
  // Length in characters of result i (0-based).
  virtual int GetLength(int index) const = 0;
  // 1-based position in the line where result i (0-based) begins.
  virtual int GetResult(int index) const = 0;
  virtual int GetResultCount() const = 0;
  virtual void SetOptions(TOndSearchOptions value) = 0;
  // Finds every match in the line, replacing the result list; returns the count.
  virtual int FindAll(std::string_view newText) = 0;
  // The text to put in place of a found occurrence.
  virtual std::string Replace(const std::string& aOccurrence, const std::string& aReplacement) = 0;
  // Whether FirstCandidate can pass over text that holds no match, so that a
  // search need not hand every line to FindAll. May prepare the pattern, and
  // then raises what FindAll would.
  virtual bool CanSkipText() { return false; }
  // The first place in aText, at aFrom or after, where a match may begin;
  // aText.size() when none can. aText may hold several lines joined by
  // their line breaks: every match FindAll finds in one of them begins at
  // such a place of its text, though not every such place begins one.
  virtual std::size_t FirstCandidate(std::string_view /*aText*/, std::size_t aFrom) { return aFrom; }

 private:
  std::vector<std::pair<void*, std::function<void()>>> FFreeNotifies;
};

// Plain-text search that compares only where the pattern's first and last
// characters both are; case folding and word characters follow code page 1251.
class TOndEditSearch : public TOndEditSearchCustom {
 public:
  static constexpr int MaxPatternLength = 255;

  TOndEditSearch();

  std::string GetPattern() const override { return FPattern; }
  void SetPattern(const std::string& value) override;
  int GetLength(int index) const override;
  int GetResult(int index) const override;
  int GetResultCount() const override { return static_cast<int>(FResults.size()); }
  void SetOptions(TOndSearchOptions value) override;
  int FindAll(std::string_view newText) override;
  std::string Replace(const std::string& aOccurrence, const std::string& aReplacement) override;
  bool CanSkipText() override;
  std::size_t FirstCandidate(std::string_view aText, std::size_t aFrom) override;

  bool GetSensitive() const { return FSensitive; }
  bool GetWhole() const { return FWhole; }

 private:
  void MakeCaseTable();
  void MakeDelimiterTable();
  void PrepareScan();
  bool TestWholeWord(std::string_view text, std::size_t start) const;
  // Do the characters at this start equal the pattern's (case folded)?
  bool EqualsAt(const unsigned char* text) const;
  // Does the pattern match at this start (whole words checked)?
  bool MatchesAt(std::string_view text, std::size_t start) const;
  unsigned char Fold(char c) const { return FTrans[static_cast<unsigned char>(c)]; }

  bool FCaseTableBuiltFor = true;  // the case setting the fold table was last built for
  std::array<unsigned char, 256> FTrans{};
  std::array<bool, 256> FDelimTable{};
  std::string FPattern;
  std::string FFolded;  // the pattern through the fold table
  int FPatLen = 0;
  TLiteralScan FScan;  // finds the starts worth comparing
  // Where in the pattern the scan's two characters stand: the rarest two.
  std::size_t FScanFirst = 0;
  bool FUseScan = false;
  bool FSensitive = false;
  bool FWhole = false;
  std::vector<int> FResults;
  bool FScanReady = false;
};

}  // namespace ond
