// The notice screen: a short introduction to the tool that the open-project
// screen shows beside itself. It does not block its owner and is only hidden
// when dismissed, so it can be shown again.
#pragma once

#include "platform/TextScreen.h"

#include <QStringView>

#include <array>

namespace vt {

inline constexpr QStringView NoticeCaption = u"申明";
inline constexpr QStringView NoticeHeading = u"申　明";
inline constexpr QStringView NoticeButtonCaption = u" 了啦！";

// The memo's lines, in order; FormShow puts exactly these into Memo1.
extern const std::array<QStringView, 13> NoticeLines;

class TProset : public TextScreen {
public:
    explicit TProset(QWidget* owner);
    ~TProset() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool centred_ = false;
};

// The newest notice screen; null once it has been destroyed.
extern TProset* Proset;

}  // namespace vt
