// The program's own interface texts in its two languages, Russian and
// English. Every caption, status text, message and dialog text is read from
// this one table at the moment it is shown, so switching the language takes
// effect at once. The table is fixed: its texts are code page 1251 bytes, a
// line break inside a text is LF CR and the bullet is the byte 0x95.
//
// The language index is the settings variable interface.view.language:
// 0 Russian, 1 English.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/ProgramTexts.h"

namespace ond {

constexpr int LangRussian = 0;
constexpr int LangEnglish = 1;
constexpr int LanguageCount = 2;

// Editing modes of the edit-mode entry, whose texts differ by mode.
constexpr int EditModeInsert = 0;
constexpr int EditModeOverwrite = 1;

// The table's entries in table order.
enum TLangEntry : int {
  leMainHelp,  // the hint of the empty editor area
  leEditMode,  // read through LangEditModeText
  leModified,
  leFileNotFound,
  leNotFound,
  leSubsUsed,
  leFile,
  leOpen,
  leSave,
  leSaveWithBackup,
  leSaveAs,
  leSaveAsCopy,
  leReopen,
  leRecovery,
  leSaveAll,
  leSaveAllWithBackup,
  leCloseAll,
  leLoadActiveConfig,
  leQuit,
  leEdit,
  leUndo,
  leRedo,
  leCut,
  leCopy,
  lePaste,
  leDelete,
  leSelectAll,
  leSearchMenu,
  leFind,
  leReplaceMenu,
  leFindDown,
  leFindUp,
  leView,
  leEditor,
  leGutter,
  leGutterVisible,
  leGutterNumber,
  leGutterWWGlyph,
  leLineModified,
  leHeaderFont,
  leEditorFont,
  leWordWrap,
  leSpecialChars,
  leFreeCaret,
  leFilesTree,
  leFilesTreeVisible,
  leFilesTreePosition,
  leFilesTreeRight,
  leFilesTreeLeft,
  leMainScroll,
  leMainScrollBar,
  leActivationMethod,
  leActivationShift,
  leActivationCtrl,
  leActivationCursor,
  leSyntaxHighlighting,
  leSyntaxNone,
  leScheme,
  lePairedBrackets,
  leCodeFolding,
  leCodePage,
  leFileAnsi,
  leFileUnicode,
  leFileUtf8,
  leConfigAnsi,
  leConfigUnicode,
  leConfigUtf8,
  leLanguage,
  leCollapseEditors,
  leCollapseAll,
  leCollapseAbove,
  leCollapseBelow,
  leExpandEditors,
  leExpandAll,
  leExpandAbove,
  leExpandBelow,
  leHideEditors,
  leHideAll,
  leHideAbove,
  leHideBelow,
  leShowEditors,
  leShowAll,
  leShowAbove,
  leShowBelow,
  leAlignHeights,
  leHeightAsActive,
  leHeightAsMain,
  leHelp,
  leSettings,
  leTestMode,
  leAutoCheckUpdate,
  leFullScreenDefault,
  leRememberSearch,
  leRestoreDefaults,
  leCheckUpdate,
  leWebSite,
  leAbout,
  leSearchCaption,
  leSearchFor,
  leOK,
  leCancel,
  leDirection,
  leDown,
  leUp,
  leCaseSensitive,
  leWholeWords,
  leFromCaret,
  leSelectedOnly,
  leRegularExpression,
  leEntireConfig,
  leWithoutHidden,
  leReplaceCaption,
  leReplaceWith,
  leReplaceQuestion,
  leConfirmYes,
  leConfirmNo,
  leConfirmYesToAll,
  leConfirmCancel,
  leUpdateOffer,  // holds UpdateVersionPlaceholder
  leUpdateYes,
  leUpdateNo,
  leUpdateDownloaded,
  leSaveAllChanges,
  leChangesLost,
  leCopyOverOriginal,
  leLatestVersion,
  leUpdateCheckFailed,
  leUpdateFailed,
  leDebugLibraryOffer,
  leDebugLibraryFailed,
  leDebugLibraryMismatch,
  leDebugLibraryUpgradeFailed,
  LangEntryCount
};
static_assert(LangEntryCount == 132);

// The program's own messages beyond the table, kept here in the same two
// languages so that every text has one home. "%s" marks where a value goes.
enum TLangMessage : int {
  leLossyRead = LangEntryCount,  // mark of a file read with characters replaced by "?"
  leSaveFailed,
  leReadFailed,
  leBackupFailed,
  leLossySave,
  leNameInSet,
  leOpeningFiles,  // the status text while a set opens: files done, files listed
  leBytesReceived,  // a download's bytes received when its size is not known
  leChangedOnDisk,  // a file changed by another program since it was read: overwrite?
  leDeletedOnDisk,  // the same for a file deleted meanwhile: save it again?
  leUpdateAnswerUnreadable,  // the update server answered, but not with a readable "Build.upd"
  leDebugLibraryAnswerUnreadable,  // the same, when debug mode wants the library
  leAboutProgram,  // the about box's line about the program
  leAboutMod,  // the about box's link line naming the mod
  leNoBrowser,  // no browser took the program's web address (%s)
  leCannotWriteFile,  // a file (%s) could not be written; the system's reason follows
  leCannotMakeBackup,  // the backup (%s) could not be made; the system's reason follows
  leOldTextPutBack,  // a failed in-place write: the old text is back in the file
  leOldTextKeptIn,  // a failed in-place write: part of the new text, the old text in a copy (%s)
  leFileWrittenInPart,  // a failed in-place write without a copy: part of the new text
  leLeftCopyFound,  // an interrupted save of a file (%s) left a copy of its old text (%s)
  leInPlaceWithoutCopy,  // a file (%s) can only be written in place, no copy in (%s): reason (%s); save?
  leBackupUndecodable,  // a backup (%s) whose zero bytes tell no encoding is not loaded
  leUpdateNotInstallable,  // build %s (version %s) is out; a build without a release key names the site (%s)
  leDebugLibraryNotInstallable,  // the same for the debug library that debug mode wants (site %s)
  // Reading and writing the files of a set: %s the quoted name, then the reason.
  leCannotOpenFile,
  leCannotReadFile,
  leCannotCreateFolder,
  leNotRegularFile,  // the reason for a pipe, a device or a socket
  leFileTooLarge,  // %s the limit in MB
  leNulInName,  // the reason for a name holding a zero byte
  leUnreadNotSaved,  // %s the name: a save refused to a panel whose file was not read
  leUnreadPanel,  // a panel's caption mark: its file could not be read (%s the reason), so it is read-only
  leUnreadTooLarge,  // the short reason of that mark for a file too large to edit
  leSystemErrorNumber,  // an error the table has no text for: %s its number, %s the system's text
  leSetTooLarge,  // %s the most files a set may have, %s the file listing stopped at
  // The texts the units below this one name (platform/core/ProgramTexts.h)
  // and have not already got above.
  leCannotCreateFile,
  leCannotKeepCopy,
  leNoStateFolder,
  lePrintNotStarted,
  lePrintNotFinished,
  lePrinterRefused,
  lePrinterNotFinished,
  leNoFileNamed,
  leHttpNotStarted,
  leHttpFailed,
  leHttpBodyNotStored,
  leHttpBodyTooLong,
  leHttpStatus,
  leHttpNoConnection,
  leHttpTimedOut,
  leHttpNotSecure,
  leHttpTooManyRedirects,
  leHttpTransferError,
  leCannotWriteErrorLog,  // %s the log's name, %s the reason
  leDownloadNoBuild,  // the downloaded program carries no build number
  leDownloadWrongBuild,  // %s the build downloaded, %s the build offered
  leCannotRenameFile,  // %s the quoted name, %s the reason
  leElfTooShort,
  leElfNot,
  leElfWordSize,
  leElfByteOrder,
  leElfVersion,
  leElfMachine,
  leElfHeaderSize,
  leElfTooManyHeaders,
  leElfHeadersPastEnd,
  leElfSegmentPastEnd,
  leElfObjectNotProgram,
  leElfObjectNotLibrary,
  leElfCore,
  leElfNothingToLoad,
  leElfNoEntryPoint,
  leElfLibraryNotProgram,
  leElfNotProgram,
  leElfProgramNotLibrary,
  leElfNotLibrary,
  leNoReleaseKey,
  leSignatureSize,
  leSignatureNotStarted,
  leSignatureMismatch,
  leTextNotMade,  // a JSON file's text could not be made for saving
  // A panel whose file (%s quoted) could not be read (%s the reason) writes
  // nothing under another name (%s quoted) either.
  leUnreadNotSavedAs,
  leZeroBytesRead,  // a panel's caption mark: its file held zero bytes; %s the menu path that reads UTF-16
  leUtf16MarkRead,  // the same for a file that began with a UTF-16 byte-order mark
  leZeroBytesSave,  // saving zero bytes read from a file (%s) over it: save? %s the menu path
  leBackupNotLoaded,  // recovery from a backup failed: %s the reason
  leBackupIsLink,  // the reason for a backup (%s quoted) that is a symbolic link
  leOldTextPutBackNotFlushed,  // a failed in-place write: the old text is back but not flushed, kept in a copy (%s)
  leNewTextNotFlushed,  // a failed in-place write without a copy: the new text is in but not flushed
  leLeftCopiesOlder,  // %s older copies of a file that interrupted saves left beside the one told
  leInPlaceNoStateFolder,  // a file (%s) can only be written in place, and there is no state folder for a copy; save?
  LangTextCount
};

// The one placeholder of the table: the update offer puts the new version's
// text in its place.
inline constexpr const char* UpdateVersionPlaceholder = "XXX";

// The current language index, 0 or 1.
int CurrentLanguage();
void SetCurrentLanguage(int language);

// The text of an entry (or message) in a language; the edit-mode entry gives
// its insert text here.
const std::string& LangText(int entry, int language);
// The text of an entry in the current language.
const std::string& Lang(int entry);
// The text of an entry in the current language with each "%s" taken, in
// order, by the next of Values ("%s" left over stays as it is).
std::string LangFill(int entry, std::initializer_list<std::string_view> Values);
// The status text of an editing mode (EditModeInsert or EditModeOverwrite).
const std::string& LangEditModeText(int mode, int language);
const std::string& LangEditMode(int mode);
// A menu entry's path in the current language: the captions of the entries,
// in order, joined by " > ".
std::string LangMenuPath(std::initializer_list<int> entries);

// The text of a system error number in a language: false for a number the
// table does not know. The numbers it knows, for tests.
bool LangSystemErrorText(int err, int language, std::string& text);
// The entry that gives a text named below this unit.
int LangProgramTextEntry(TProgramText id);
const std::vector<int>& LangSystemErrors();
// The text SystemErrorText gives, for the current language: a number the
// table does not know gives its number and the system's text.
std::string LangSystemError(int err);

// The short reason a file could not be read, in the current language, for a
// reason number of an exception (a system error number or one of the
// program's own reasons); "" for 0.
std::string LangReadReason(int errorNumber);

// A text told in the current language that cannot be made in another one (it
// holds words others composed): it gives the text while that language stays
// current and nothing once another is chosen, so that no text is left in a
// language the user switched away from.
std::function<std::string()> LangBound(std::string text);

// Whether the system's language is Russian: the language part of the
// messages locale (LC_ALL, LC_MESSAGES, then LANG; "ru" in "ru_RU.UTF-8").
// Anything unreadable counts as not.
bool IsRussianSystem();
// The same decision for a given locale name (null or empty is not Russian).
bool IsRussianLocaleName(const char* localeName);

}  // namespace ond
