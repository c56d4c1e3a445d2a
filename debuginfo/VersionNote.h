// The version a library of the program carries: the same build note the
// program writes into its own file (owner, type and layout in
// platform/core/DownloadCheck.h), so that the program reads a library's
// version from its file without loading it.
#pragma once

#include <cstdint>

#include "platform/core/DownloadCheck.h"

namespace ond::debuginfo {

struct TVersionNote {
  std::uint32_t NameSize;
  std::uint32_t DescSize;
  std::uint32_t Type;
  char Name[sizeof BuildNoteOwner];
  char Padding[(4 - sizeof BuildNoteOwner % 4) % 4];
  std::uint16_t Version[4];
};
static_assert(sizeof(TVersionNote) % 4 == 0);

}  // namespace ond::debuginfo

// Places the note in the object file being compiled. A section whose name
// begins with ".note" is a note: the linker puts it in the note segment,
// which every tool that strips a file keeps.
#define OND_VERSION_NOTE(major, minor, release, build)                                                   \
  [[gnu::used, gnu::section(".note.ondrel.build"), gnu::aligned(4)]] const ond::debuginfo::TVersionNote \
      OndVersionNote = {sizeof ond::BuildNoteOwner,                                                     \
                        sizeof(ond::debuginfo::TVersionNote::Version),                                  \
                        ond::BuildNoteType,                                                              \
                        "Ondrel",                                                                        \
                        {},                                                                              \
                        {major, minor, release, build}}
