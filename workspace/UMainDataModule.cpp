#include "workspace/UMainDataModule.h"

#include "platform/ImgList.h"

namespace ond {

TDMMain* DMMain = nullptr;

TDMMain::TDMMain(TComponent* owner) : TComponent(owner), iListCollapsed(new TImageList(this, 12, 12)) {
  iListCollapsed->AddResource("Collapsed");
}

}  // namespace ond
