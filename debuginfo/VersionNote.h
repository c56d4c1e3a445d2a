// The version a library of the program carries, as an ELF note of its own
// (owner "Ondrel", type 1, the four version parts as 16-bit numbers in this
// machine's byte order: major, minor, release, build), so that the program
// can read a library's version from its file without loading it. The
// reader is platform/core/ElfVersion; owner, type and layout are the same
// there.
#pragma once

#define OND_NOTE_TEXT2(x) #x
#define OND_NOTE_TEXT(x) OND_NOTE_TEXT2(x)

// Places the note in the object file being compiled; the parts are decimal
// numbers. The note is allocated, so it survives stripping.
#define OND_VERSION_NOTE(major, minor, release, build)                                         \
  __asm__(".pushsection .note.ondrel.version,\"a\",%note\n"                                    \
          ".balign 4\n"                                                                         \
          ".4byte 2f - 1f\n"                                                                    \
          ".4byte 4f - 3f\n"                                                                    \
          ".4byte 1\n"                                                                          \
          "1: .asciz \"Ondrel\"\n"                                                              \
          "2: .balign 4\n"                                                                      \
          "3: .2byte " OND_NOTE_TEXT(major) ", " OND_NOTE_TEXT(minor) ", " OND_NOTE_TEXT(release) \
          ", " OND_NOTE_TEXT(build) "\n"                                                        \
          "4: .balign 4\n"                                                                      \
          ".popsection\n")
