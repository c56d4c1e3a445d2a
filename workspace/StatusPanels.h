// The panels of the main window's status bar by what they show.
#pragma once

namespace ond {

enum TStatusPanel : int {
  spCaret = 0,      // line and column of the caret
  spCharCode = 1,   // code of the character at the caret
  spEditMode = 2,   // insert or overwrite
  spFileState = 3,  // modified, or the file is missing
  spEncoding = 4,   // the active file's encoding; its pop-up reloads in another
  spMessage = 5,    // the file's full name, search results and errors
  StatusPanelCount
};

}  // namespace ond
