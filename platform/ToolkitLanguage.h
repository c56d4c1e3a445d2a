// The language of the toolkit's own texts: the buttons of message boxes, the
// file dialogs, the context menus of edit boxes. The program's texts come
// from its own table; these come from the toolkit's installed translations,
// switched together with the program's language so a Russian interface has
// no English "Yes" and "Cancel" left in it.
#pragma once

class QFileDialog;

namespace ond {

// Switches the toolkit's texts to Russian (true) or back to its built-in
// English (false). False when Russian was asked for and no translation is
// installed; the texts then stay English.
bool SetToolkitRussian(bool russian);

// The toolkit's file dialog tells sizes and dates in the system's locale,
// which need not be the interface language; this gives a dialog a view of
// its files that tells them in the toolkit's default locale (the interface
// language) instead.
void FollowInterfaceLocale(QFileDialog& dialog);

}  // namespace ond
