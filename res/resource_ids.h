#pragma once
// Ids of commands and dialog controls, named as the dialogs and menus use them.

namespace kestrova::ids {

constexpr int kDocumentTemplate = 128;
constexpr int kIntroDialog = 133;
constexpr int kBuiltinBitmap = 139;
constexpr int kIntroStartButton = 1051;

}  // namespace kestrova::ids
