// The language of the toolkit's own texts: the buttons of message boxes, the
// file dialogs, the context menus of edit boxes. The program's texts come
// from its own table; these come from the toolkit's installed translations,
// switched together with the program's language so a Russian interface has
// no English "Yes" and "Cancel" left in it.
#pragma once

namespace ond {

// Switches the toolkit's texts to Russian (true) or back to its built-in
// English (false). False when Russian was asked for and no translation is
// installed; the texts then stay English.
bool SetToolkitRussian(bool russian);

}  // namespace ond
