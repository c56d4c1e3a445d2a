#include "services/USystem.h"

namespace ond {

TSettingsVariables Settings;

const std::array<const char*, 3> SchemeResourceNames = {"JSONDEF", "JAVASCRIPTDEF", "PYTHONDEF"};

bool ActiveConfigExists = false;

}  // namespace ond
