// Loading and saving the highlighter's scheme through the scheme formats.
#include "highlight/OndGenFormatNativeXml20.h"
#include "highlight/OndGenFormatNativeXmlAuto.h"
#include "highlight/OndGenHighlighter.h"

namespace ond {

bool TOndGenHighlighter::LoadFromStream(TStream& Stream) {
  const bool ok = TOndGenFormatNativeXmlAuto::Instance().ImportFromStream(this, &Stream);
  if (ok) Reset();
  return ok;
}

bool TOndGenHighlighter::LoadFromFile(const std::string& FileName) {
  const bool ok = TOndGenFormatNativeXmlAuto::Instance().ImportFromFile(this, FileName);
  if (ok) Reset();
  return ok;
}

bool TOndGenHighlighter::SaveToStream(TStream& Stream) {
  return TOndGenFormatNativeXml20::Instance().ExportToStream(this, &Stream);
}

bool TOndGenHighlighter::SaveToFile(const std::string& FileName) {
  return TOndGenFormatNativeXml20::Instance().ExportToFile(this, FileName);
}

bool TOndGenHighlighter::IsSyntaxStored(bool HasAncestor) const { return HasAncestor || FMainRules->RangeCount() > 0; }

std::string TOndGenHighlighter::WriteSyntax() {
  TStringStream text;
  TOndGenFormatNativeXml20::Instance().ExportToStream(this, &text);
  return text.DataString();
}

bool TOndGenHighlighter::ReadSyntax(std::string_view Value) {
  TStringStream text{std::string(Value)};
  text.SetPosition(0);
  return LoadFromStream(text);
}

}  // namespace ond
