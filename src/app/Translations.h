// Qt's own Chinese texts for the standard buttons and dialogs (确定, 取消, 是, 否).
#pragma once

class QCoreApplication;

namespace tarvo {

// Installs Qt's Chinese translations from Qt's translation directory; false when they are
// not installed (the standard buttons then keep Qt's English texts).
bool installChineseTranslations(QCoreApplication &app);

} // namespace tarvo
