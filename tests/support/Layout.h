// What a user sees of a window at its design size: controls that cover each
// other, and captions cut off by their control. Each fault comes back as a
// sentence naming the controls, so a failing test says what to look at.
#pragma once

#include "platform/Look.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

namespace vt::testsupport {

inline QString captionOf(const QWidget* control)
{
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->currentText();
    return {};
}

inline std::string controlName(const QWidget* control)
{
    QString name = control->objectName().isEmpty() ? QString::fromLatin1(control->metaObject()->className())
                                                    : control->objectName();
    if (const QString caption = captionOf(control); !caption.isEmpty())
        name += QStringLiteral(" \"") + caption + QStringLiteral("\"");
    return name.toStdString();
}

// The part of the control its caption is drawn into, as its style lays it out.
inline QRect captionRoom(const QWidget* control)
{
    QStyle* style = control->style();
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(control))
            element = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<const QRadioButton*>(control))
            element = QStyle::SE_RadioButtonContents;
        else if (auto* push = qobject_cast<const QPushButton*>(control); push && push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        return style->subElementRect(element, &option, control);
    }
    if (auto* combo = qobject_cast<const QComboBox*>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.currentText = combo->currentText();
        return style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    }
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->contentsRect();
    return {};
}

// The faults of window as it stands: two visible controls overlapping (but
// for the pairs in mayOverlap, which the design puts on top of each other)
// and a caption wider, in its control's font, than the room its control
// gives it (a word-wrapped label's lines taller than the label). Windows
// beside it (its own dialogs) are not its controls.
inline std::vector<std::string> layoutFaults(QWidget& window,
                                             const std::vector<std::pair<const QWidget*, const QWidget*>>& mayOverlap = {})
{
    window.ensurePolished();
    std::vector<const QWidget*> controls;
    for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow() && child->isVisibleTo(&window))
            controls.push_back(child);

    auto allowed = [&](const QWidget* a, const QWidget* b) {
        for (const auto& [one, other] : mayOverlap)
            if ((one == a && other == b) || (one == b && other == a))
                return true;
        return false;
    };

    std::vector<std::string> faults;
    // a group box's controls belong inside its frame, below its caption
    auto* group = qobject_cast<QGroupBox*>(&window);
    const QRect client = group ? groupBoxContents(*group) : window.rect();
    for (size_t i = 0; i < controls.size(); ++i) {
        const QWidget* control = controls[i];
        if (!client.contains(control->geometry()))
            faults.push_back(controlName(control) + (group ? " sticks out of its frame" : " sticks out of the window"));
        for (size_t j = i + 1; j < controls.size(); ++j)
            if (control->geometry().intersects(controls[j]->geometry()) && !allowed(control, controls[j]))
                faults.push_back(controlName(control) + " overlaps " + controlName(controls[j]));

        const QString caption = captionOf(control);
        if (caption.isEmpty())
            continue;
        if (auto* label = qobject_cast<const QLabel*>(control); label && label->wordWrap()) {
            // a wrapped label runs onto more lines: those must fit its height
            const QRect room = label->contentsRect();
            const int height = QFontMetrics(label->font()).boundingRect(room, Qt::TextWordWrap, caption).height();
            if (height > room.height())
                faults.push_back(controlName(control) + " is cut off: " + std::to_string(height) +
                                 " pixels of lines in " + std::to_string(room.height()));
            continue;
        }
        const int width = QFontMetrics(control->font()).horizontalAdvance(caption);
        const int room = captionRoom(control).width();
        if (width > room)
            faults.push_back(controlName(control) + " is cut off: " + std::to_string(width) + " pixels of text in " +
                             std::to_string(room));
    }
    return faults;
}

}  // namespace vt::testsupport
