// GBK <-> QString conversion for widgets; ASCII skips iconv.
#include "framework/QtText.h"

#include "platform/Gbk.h"

namespace tarvo {

QString qtText(std::string_view gbk)
{
    if (gbk::isAscii(gbk))
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    return QString::fromStdString(gbk::toUtf8(gbk));
}

std::string gbkText(const QString& text)
{
    return gbk::fromUtf8(text.toStdString());
}

} // namespace tarvo
