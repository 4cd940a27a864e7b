#include "ControlValues.h"

#include "NSImageButton.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QCheckBox>

int integerValue(const QObject* sender)
{
    if (auto* slider = qobject_cast<const QAbstractSlider*>(sender))
        return slider->value();
    return sender ? sender->property("value").toInt() : 0;
}

int buttonState(const QObject* sender)
{
    if (auto* box = qobject_cast<const QCheckBox*>(sender)) {
        switch (box->checkState()) {
        case Qt::Checked:
            return kButtonStateOn;
        case Qt::Unchecked:
            return kButtonStateOff;
        case Qt::PartiallyChecked:
            return kButtonStateMixed;
        }
    }
    // A skin button keeps its mixed state beside the checked flag.
    if (auto* skinButton = qobject_cast<const NSImageButton*>(sender))
        return skinButton->state();
    if (auto* button = qobject_cast<const QAbstractButton*>(sender))
        return button->isChecked() ? kButtonStateOn : kButtonStateOff;
    return sender ? sender->property("state").toInt() : kButtonStateOff;
}

std::optional<int> menuTag(const QObject* sender)
{
    if (auto* action = qobject_cast<const QAction*>(sender))
        return action->data().toInt();
    return std::nullopt;
}
