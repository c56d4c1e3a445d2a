// The program-wide settings variables with their compiled-in defaults. Each
// is reached by its key path in the settings file, e.g.
// `Settings.interface.view.editors.wordwrap`. The main window's actions toggle
// them; the settings file stores them.
#pragma once

#include <array>
#include <string>

namespace ond {

struct TSettingsVariables {
  struct {
    struct {
      bool debugmod = false;
      bool autocheckupdate = true;
      bool fullscreendefault = true;
      bool searchoptionsremember = true;
    } options;
  } system;

  struct {
    struct {
      int language = 0;  // 0 Russian, 1 English
      struct {
        struct {
          bool visible = true;
          bool number = true;
          bool wwglyph = false;
          bool linemodified = true;
        } gutter;
        bool wordwrap = true;
        bool specialcharacters = false;
        bool freecaretmovement = false;
      } editors;
      struct {
        bool visible = true;
        int position = 0;  // 0 right, 1 left
        int width = 240;
      } fileslist;
      struct {
        struct {
          bool visible = true;
        } scrollbar;
        int activationmethod = 0;  // 0 Shift, 1 Ctrl, 2 cursor
      } mainscroll;
      struct {
        int scheme = 0;  // -1 none, 0 config files, 1 JavaScript, 2 Python
        bool pairedbrackets = true;
        bool codefolding = true;
      } syntax;
    } view;
  } interface;

  struct {
    struct {
      bool backwards = false;
      bool casesensitive = false;
      bool fromcaret = true;
      bool selectiononly = false;
      bool wholewords = false;
      bool regex = false;
      bool inallconfig = false;
      bool withouthiddenfiles = true;
    } options;
    struct {
      std::string text;
      std::string history;
    } find;
    struct {
      std::string text;
      std::string history;
    } replace;
  } search;
};

// The one set of settings of the running program.
extern TSettingsVariables Settings;

// Resource names of the built-in highlighter schemes, by scheme index 0..2.
extern const std::array<const char*, 3> SchemeResourceNames;

// Whether the game's active config file exists; set by the main window at start-up.
extern bool ActiveConfigExists;

}  // namespace ond
