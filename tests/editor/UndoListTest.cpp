#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "editor/OndEditTextBuffer.h"

namespace ond {
namespace {

void Change(TOndEditUndoList& l, TOndUndoReason reason = urInsert, const char* text = "t") {
  l.AddChange(reason, BufferCoord(1, 1), BufferCoord(2, 1), text, smNormal);
}

std::vector<std::int32_t> Numbers(const TOndEditUndoList& l) {
  std::vector<std::int32_t> r;
  for (int i = 0; i < l.ItemCount(); ++i) r.push_back(l.Items(i)->GroupNumber);
  return r;
}

TEST(UndoList, ChangeNumbersAndBlocks) {
  TOndEditUndoList l;
  EXPECT_EQ(l.GetMaxUndo(), 1024);
  EXPECT_EQ(l.GetNextGroupNumber(), 1);
  int added = 0;
  l.OnRecordAdded = [&](TOndEditUndoList* sender) {
    EXPECT_EQ(sender, &l);
    ++added;
  };

  Change(l);
  Change(l);
  Change(l);
  l.BeginBlock();
  Change(l);
  Change(l);
  l.EndBlock();
  Change(l);
  EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{1, 2, 3, 4, 4, 5}));
  EXPECT_EQ(added, 7);  // six pushes and the end of the block

  // Nested blocks share one number; the outer EndBlock notifies once more.
  added = 0;
  l.BeginBlock();
  l.BeginBlock();
  EXPECT_EQ(l.GetBlockNumber(), 6);
  Change(l);
  l.EndBlock();
  EXPECT_EQ(added, 1);
  EXPECT_EQ(l.GetBlockDepth(), 1);
  l.EndBlock();
  EXPECT_EQ(added, 2);
  EXPECT_EQ(l.GetBlockNumber(), 0);
  EXPECT_EQ(l.PeekItem()->GroupNumber, 6);
  Change(l);
  EXPECT_EQ(l.PeekItem()->GroupNumber, 7);

  // An empty block fires nothing but still uses up its number; a stray
  // EndBlock does nothing.
  added = 0;
  l.BeginBlock();
  l.EndBlock();
  l.EndBlock();
  EXPECT_EQ(added, 0);
  EXPECT_EQ(l.GetNextGroupNumber(), 9);
  EXPECT_EQ(l.GetBlockDepth(), 0);

  // Records keep what they were given.
  l.AddChange(urDelete, BufferCoord(3, 4), BufferCoord(5, 6), "gone", smColumn, nullptr, 9);
  const TOndEditUndoItem* top = l.PeekItem();
  EXPECT_EQ(top->Reason, urDelete);
  EXPECT_EQ(top->StartPos, BufferCoord(3, 4));
  EXPECT_EQ(top->EndPos, BufferCoord(5, 6));
  EXPECT_EQ(top->Text, "gone");
  EXPECT_EQ(top->SelectionMode, smColumn);
  EXPECT_EQ(top->Extra2, 9);
  EXPECT_THROW(l.Items(l.ItemCount()), EListError);
}

TEST(UndoList, GroupBreaksLockAndPopping) {
  TOndEditUndoList l;
  int added = 0;
  l.OnRecordAdded = [&](TOndEditUndoList*) { ++added; };
  EXPECT_EQ(l.LastChangeReason(), urNothing);
  EXPECT_FALSE(l.HasRecords());
  EXPECT_EQ(l.PopItem(), nullptr);
  EXPECT_EQ(l.PeekItem(), nullptr);

  l.AddGroupBreak();
  l.AddGroupBreak();
  EXPECT_EQ(l.ItemCount(), 1);
  EXPECT_EQ(l.LastChangeReason(), urGroupBreak);
  EXPECT_EQ(l.PeekItem()->GroupNumber, 1);  // takes a number like any record
  EXPECT_EQ(l.PeekItem()->Text, "");
  EXPECT_EQ(added, 0);                      // but notifies nobody

  Change(l);
  l.AddGroupBreak();
  EXPECT_EQ(l.ItemCount(), 3);
  EXPECT_EQ(added, 1);

  l.Lock();
  l.Lock();
  Change(l);
  l.AddGroupBreak();
  l.Unlock();
  Change(l);
  EXPECT_EQ(l.ItemCount(), 3);
  l.Unlock();
  l.Unlock();  // below zero does nothing
  EXPECT_EQ(l.GetLockDepth(), 0);
  Change(l);
  EXPECT_EQ(l.ItemCount(), 4);

  std::unique_ptr<TOndEditUndoItem> item = l.PopItem();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(l.ItemCount(), 3);
  added = 0;
  l.PushItem(std::move(item));
  l.PushItem(nullptr);
  EXPECT_EQ(added, 1);
  EXPECT_EQ(l.ItemCount(), 4);
}

TEST(UndoList, CapDropsOldestRecords) {
  TOndEditUndoList l;
  l.SetMaxUndo(2);
  Change(l, urInsert, "1");
  Change(l, urInsert, "2");
  EXPECT_FALSE(l.GetRecordsDropped());
  Change(l, urInsert, "3");
  EXPECT_TRUE(l.GetRecordsDropped());
  EXPECT_EQ(l.ItemCount(), 2);
  EXPECT_EQ(l.Items(0)->Text, "2");
  l.Clear();
  EXPECT_FALSE(l.GetRecordsDropped());
  EXPECT_EQ(l.GetNextGroupNumber(), 4);  // numbers go on after Clear

  l.SetMaxUndo(-5);
  EXPECT_EQ(l.GetMaxUndo(), 0);
  Change(l);
  EXPECT_EQ(l.ItemCount(), 0);
  EXPECT_TRUE(l.GetRecordsDropped());

  // Lowering the cap applies it at once.
  TOndEditUndoList m;
  for (int i = 0; i < 10; ++i) Change(m);
  m.SetMaxUndo(3);
  EXPECT_EQ(m.ItemCount(), 3);
  EXPECT_EQ(m.Items(0)->GroupNumber, 8);
}

TEST(UndoList, SavedMarkSequence) {
  TOndEditUndoList l;
  EXPECT_TRUE(l.IsTopMarkedAsSaved());
  Change(l);
  EXPECT_FALSE(l.IsTopMarkedAsSaved());
  l.MarkTopAsSaved(true);
  EXPECT_TRUE(l.IsTopMarkedAsSaved());
  Change(l);
  EXPECT_FALSE(l.IsTopMarkedAsSaved());
  auto popped = l.PopItem();
  EXPECT_TRUE(l.IsTopMarkedAsSaved());
  l.PopItem();
  EXPECT_FALSE(l.IsTopMarkedAsSaved());

  // Forgetting the mark only matters while it is current.
  l.MarkTopAsSaved(true);  // the empty list is the saved state
  Change(l);
  l.MarkTopAsSaved(false);
  EXPECT_EQ(l.GetSavedGroupNumber(), 0);
  l.PopItem();
  EXPECT_TRUE(l.IsTopMarkedAsSaved());
  l.MarkTopAsSaved(false);
  EXPECT_EQ(l.GetSavedGroupNumber(), -1);
  EXPECT_FALSE(l.IsTopMarkedAsSaved());
}

TEST(UndoList, SavedMarkSurvivesTheCap) {
  // Saved while empty, then more changes than the cap keeps: undoing all that
  // is left must not look like the saved text.
  TOndEditUndoList l;
  l.SetMaxUndo(3);
  l.MarkTopAsSaved(true);
  for (int i = 0; i < 5; ++i) Change(l);
  while (l.HasRecords()) {
    EXPECT_FALSE(l.IsTopMarkedAsSaved());
    l.PopItem();
  }
  EXPECT_FALSE(l.IsTopMarkedAsSaved());

  // Saving again on the emptied list makes it the saved state once more.
  l.MarkTopAsSaved(true);
  EXPECT_TRUE(l.IsTopMarkedAsSaved());

  // A mark on a record that is still held stays reachable.
  TOndEditUndoList m;
  m.SetMaxUndo(3);
  Change(m);
  Change(m);
  m.MarkTopAsSaved(true);  // number 2
  Change(m);
  Change(m);  // drops number 1
  EXPECT_TRUE(m.GetRecordsDropped());
  m.PopItem();
  m.PopItem();
  EXPECT_TRUE(m.IsTopMarkedAsSaved());
  m.PopItem();
  EXPECT_FALSE(m.IsTopMarkedAsSaved());
}

TEST(UndoList, AssignCopiesRecordsWithoutExtras) {
  struct Payload : TOndEditUndoObject {
    explicit Payload(int* c) : Count(c) { ++*Count; }
    ~Payload() override { --*Count; }
    int* Count;
  };
  int alive = 0;
  {
    TOndEditUndoList src;
    src.SetMaxUndo(50);
    src.AddChange(urFoldChange, BufferCoord(1, 3), BufferCoord(8, 3), "", smLine,
                  std::make_unique<Payload>(&alive), 4);
    EXPECT_EQ(alive, 1);
    src.BeginBlock();
    src.Lock();
    src.MarkTopAsSaved(true);

    TOndEditUndoList dst;
    bool fired = false;
    dst.OnRecordAdded = [&](TOndEditUndoList*) { fired = true; };
    Change(dst);
    fired = false;
    dst.Assign(src);
    EXPECT_FALSE(fired);
    ASSERT_EQ(dst.ItemCount(), 1);
    const TOndEditUndoItem* it = dst.Items(0);
    EXPECT_EQ(it->Reason, urFoldChange);
    EXPECT_EQ(it->SelectionMode, smLine);
    EXPECT_EQ(it->EndPos, BufferCoord(8, 3));
    EXPECT_EQ(it->GroupNumber, 1);
    EXPECT_EQ(it->Extra1, nullptr);
    EXPECT_EQ(it->Extra2, 0);
    EXPECT_EQ(dst.GetMaxUndo(), 50);
    EXPECT_EQ(dst.GetBlockDepth(), 1);
    EXPECT_EQ(dst.GetBlockNumber(), 2);
    EXPECT_EQ(dst.GetLockDepth(), 1);
    EXPECT_EQ(dst.GetNextGroupNumber(), 2);
    EXPECT_EQ(dst.GetSavedGroupNumber(), 0);  // not copied

    // The record owns its payload: popping hands it over, freeing frees it.
    auto popped = src.PopItem();
    EXPECT_EQ(alive, 1);
    popped.reset();
    EXPECT_EQ(alive, 0);

    // A payload offered to a locked list is freed at once; one dropped by the
    // cap is freed with its record.
    src.AddChange(urFoldChange, {}, {}, "", smNormal, std::make_unique<Payload>(&alive), 0);
    EXPECT_EQ(alive, 0);
    src.Unlock();
    src.SetMaxUndo(1);
    src.AddChange(urFoldChange, {}, {}, "", smNormal, std::make_unique<Payload>(&alive), 0);
    src.AddChange(urFoldChange, {}, {}, "", smNormal, std::make_unique<Payload>(&alive), 0);
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace ond
