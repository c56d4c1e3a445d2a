// The pop-up the editor uses to show the hidden text of a collapsed fold
// while the mouse rests on its mark. This is the part of the completion
// pop-up the editor calls; the pop-up window itself registers a factory.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Graphics.h"

namespace ond {

class TStrings;
class TCustomOndEdit;

enum OndCompletionType { ctCode, ctHint, ctParams };

class TOndCompletionProposal {
 public:
  virtual ~TOndCompletionProposal() = default;

  virtual void SetDisplayType(OndCompletionType Value) = 0;
  virtual void SetTimerInterval(int Value) = 0;
  virtual void SetClBackground(TColor Value) = 0;
  virtual TStrings& ItemList() = 0;
  virtual void SetFont(const TFont& Value) = 0;
  virtual void SetEditor(TCustomOndEdit* Value) = 0;
  // Shows the pop-up for the current string at screen point (X, Y).
  virtual void ExecuteEx(const std::string& S, int X, int Y, OndCompletionType Kind) = 0;
  virtual void CancelCompletion() = 0;
  virtual bool Visible() const = 0;

  // Makes a pop-up without owner; null while no implementation is linked in.
  using TFactory = std::function<std::unique_ptr<TOndCompletionProposal>()>;
  static void SetFactory(TFactory Factory) { Factory_() = std::move(Factory); }
  static std::unique_ptr<TOndCompletionProposal> Create() {
    return Factory_() ? Factory_()() : nullptr;
  }

 private:
  static TFactory& Factory_() {
    static TFactory f;
    return f;
  }
};

}  // namespace ond
