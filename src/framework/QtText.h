// GBK <-> QString at the widget edge; the only place the Qt code converts text.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace tarvo {

// A GBK text (as every text inside the program is) for a widget.
QString qtText(std::string_view gbk);
// A widget's text back to GBK.
std::string gbkText(const QString& text);

} // namespace tarvo
