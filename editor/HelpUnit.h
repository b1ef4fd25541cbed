// The help screen: the editor's keys and mouse, and how to time with them.
// The editor shows it beside itself without being blocked; dismissing it only
// hides it.
#pragma once

#include "platform/TextScreen.h"

#include <QStringView>

#include <array>

namespace vt {

inline constexpr QStringView HelpCaption = u"Help";
inline constexpr QStringView HelpHeading = u"使用说明";
inline constexpr QStringView HelpButtonCaption = u"  知道啦！";

// The memo's lines, in order; FormShow puts exactly these into Memo1.
extern const std::array<QStringView, 68> HelpLines;

class THelp : public TextScreen {
public:
    explicit THelp(QWidget* owner);
    ~THelp() override;
};

// The newest help screen; null once it has been destroyed.
extern THelp* Help;

}  // namespace vt
