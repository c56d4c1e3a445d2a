// Texts of the program's own that units below the language table compose:
// the file writer's and the HTTP client's reasons, the printer's failures,
// the checks of a downloaded file.
// They cannot reach the table themselves, so they name a text here and the
// unit that holds the table installs a source that gives it in the interface
// language, asked on every call so that a switch of the language counts at
// once. Without a source the English text below is given.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace ond {

// "%s" marks where a value goes, in order.
enum class TProgramText : int {
  CannotWriteFile,       // %s the name; the reason follows
  CannotCreateFile,      // the same for a new file
  CannotMakeBackup,      // the same for a backup
  CannotKeepCopy,        // %s the file, %s the folder: no copy of it before an in-place write
  NoStateFolder,         // %s the file: no copy of it, for want of a state folder
  NotRegularFile,        // the reason for a pipe, a device or a socket
  OldTextPutBack,        // a failed in-place write: the old text is back in the file
  OldTextKeptIn,         // a failed in-place write: the old text kept in a copy (%s)
  FileWrittenInPart,     // a failed in-place write without a copy
  PrintNotStarted,       // a print job that could not start
  PrintNotFinished,      // a print job that could not be finished
  PrinterRefused,        // %s the printer's name
  PrinterNotFinished,    // %s the printer's name
  NoFileNamed,           // printing to a file without a name
  HttpNotStarted,        // the HTTP client could not start
  HttpFailed,            // %s the address, %s the reason
  HttpBodyNotStored,     // the reason: the answer could not be stored
  HttpBodyTooLong,       // the reason: %s the most bytes taken
  HttpStatus,            // the reason: %s the server's status number
  HttpNoConnection,      // the reason: no connection to the server
  HttpTimedOut,          // the reason: the server did not answer in time
  HttpNotSecure,         // the reason: no secure connection could be made
  HttpTooManyRedirects,  // the reason: the server sent the request round too
                         // many times
  HttpTransferError,     // the reason: %s the transfer library's error number
  // Why a downloaded file is not the program or library it should be.
  ElfTooShort,
  ElfNot,
  ElfWordSize,
  ElfByteOrder,
  ElfVersion,
  ElfMachine,
  ElfHeaderSize,
  ElfTooManyHeaders,
  ElfHeadersPastEnd,
  ElfSegmentPastEnd,
  ElfObjectNotProgram,
  ElfObjectNotLibrary,
  ElfCore,
  ElfNothingToLoad,
  ElfNoEntryPoint,
  ElfLibraryNotProgram,
  ElfNotProgram,
  ElfProgramNotLibrary,
  ElfNotLibrary,
  NoReleaseKey,
  SignatureSize,
  SignatureNotStarted,
  SignatureMismatch,
  TextNotMade,  // a file's text could not be made for saving
  OldTextPutBackNotFlushed,  // a failed in-place write: the old text is back, not flushed; kept in a copy (%s)
  NewTextNotFlushed,         // a failed in-place write without a copy: the new text is in, not flushed
  Count
};

// The text of Id in the interface language with each "%s" taken, in order,
// by the next of Values.
std::string ProgramText(TProgramText id, std::initializer_list<std::string_view> values = {});

// The text with each "%s" taken, in order, by the next of values (a "%s"
// left over stays as it is). Every program text fills its values this way.
std::string FillPlaceholders(std::string text, std::initializer_list<std::string_view> values);
// The English text, whatever the interface language.
const char* ProgramTextEnglish(TProgramText id);

// Fills Text with the interface language's pattern for Id (code page 1251);
// false leaves the English one.
using TProgramTextSource = bool (*)(TProgramText id, std::string& text);
void SetProgramTextSource(TProgramTextSource source);

}  // namespace ond
