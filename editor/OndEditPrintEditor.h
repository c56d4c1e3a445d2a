// The document editor's print command as the window layer runs it: the print
// object takes the editor's text, and when the caller brings none, one is made
// over the platform's printer with the panel's title and the default header
// and footer.
#pragma once

#include <string>

namespace ond {

class TCustomOndEdit;

// Data is the caller's print object (TOndEditPrint*) or null; AChar "1"
// shows the print dialog first. The number of pages printed; a job that could
// not start puts the printer's reason into Failure (when given).
int PrintEditorCommand(TCustomOndEdit& Editor, char AChar, void* Data, const std::string& Title,
                       std::string* Failure = nullptr);

}  // namespace ond
