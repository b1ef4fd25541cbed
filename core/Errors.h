// The program's own errors: each carries a text written for the user, in
// Chinese, that a screen shows as it is. Screens and the loader catch this
// type only; any other exception is a fault of the program and is left to
// surface.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vt {

class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// UTF-8 text for a message: control characters (a CR, a tab, an escape left
// in a file name or a line of a file) are shown as their visible pictures
// (␍, ␉, ␛), so a message box shows one line, as it was.
// A message's text with every "%1" replaced by argument.
inline std::string fillIn(std::string_view text, std::string_view argument)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t mark = text.find("%1", at);
        if (mark == std::string_view::npos) {
            out.append(text.substr(at));
            break;
        }
        out.append(text.substr(at, mark - at)).append(argument);
        at = mark + 2;
    }
    return out;
}

inline std::string printable(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            unsigned picture = b == 0x7F ? 0x21 : b;  // U+2400 + b, and U+2421 for DEL
            out += "\xE2\x90";
            out.push_back(static_cast<char>(0x80 + picture));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace vt
