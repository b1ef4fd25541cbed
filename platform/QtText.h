// The program's own strings are UTF-8 std::string; Qt's are QString. One
// pair of conversions for every screen.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace vt {

inline std::string toUtf8(const QString& s)
{
    return s.toStdString();
}

inline QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace vt
