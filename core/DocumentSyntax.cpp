#include "core/DocumentSyntax.h"

#include <algorithm>

namespace vt {

bool equalsIgnoringCase(std::u16string_view s, std::string_view name)
{
    return s.size() == name.size() && std::equal(s.begin(), s.end(), name.begin(), [](char16_t a, char b) {
               return (a >= u'A' && a <= u'Z' ? char16_t(a - u'A' + u'a') : a) == char16_t(b);
           });
}

std::u16string_view mostUsedLineEnd(std::u16string_view text, std::u16string_view none)
{
    size_t crLf = 0, lf = 0, cr = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            bool pair = i + 1 < text.size() && text[i + 1] == u'\n';
            (pair ? crLf : cr) += 1;
            i += pair;
        } else if (text[i] == u'\n') {
            ++lf;
        }
    }
    if (crLf + lf + cr == 0)
        return none;
    if (crLf >= lf && crLf >= cr)
        return u"\r\n";
    return lf >= cr ? u"\n" : u"\r";
}

void appendPadded(std::u16string& out, int64_t value, size_t digits)
{
    std::string text = std::to_string(value);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    out.append(text.begin(), text.end());
}

size_t leadingBlocksEnd(std::u16string_view s, char16_t open, char16_t close)
{
    size_t i = 0;
    while (i < s.size() && s[i] == open) {
        size_t end = s.find(close, i + 1);
        if (end == NoPosition)
            break;
        i = end + 1;
    }
    return i;
}

}  // namespace vt
