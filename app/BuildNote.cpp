// The program's build, written into an ELF note of its own file, so that an
// update can read which build a downloaded program is before it runs it.
#include <cstdint>

#include "platform/core/DownloadCheck.h"

namespace {

struct TBuildNote {
  std::uint32_t NameSize;
  std::uint32_t DescSize;
  std::uint32_t Type;
  char Name[sizeof ond::BuildNoteOwner];
  char Padding[(4 - sizeof ond::BuildNoteOwner % 4) % 4];
  std::uint16_t Version[4];
};
static_assert(sizeof(TBuildNote) % 4 == 0);

// A section whose name begins with ".note" is a note: the linker puts it in
// the program's note segment, which every tool that strips the file keeps.
[[gnu::used, gnu::section(".note.ondrel.build"), gnu::aligned(4)]] const TBuildNote BuildNote = {
    sizeof ond::BuildNoteOwner, sizeof(TBuildNote::Version), ond::BuildNoteType, "Ondrel", {},
    {ONDREL_VERSION_MAJOR, ONDREL_VERSION_MINOR, ONDREL_VERSION_PATCH, ONDREL_VERSION_TWEAK}};

}  // namespace
