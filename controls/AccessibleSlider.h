#pragma once
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

class TrackBar;

// What assistive tools see of a TrackBar: a slider with its name, value, range and step, and as
// its value text what the owner set (the time, say) or else the number. Setting the value
// moves the trackbar as the listener's choice (TrackBar::Choose).
class AccessibleSlider : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleSlider(TrackBar* bar);
    // Makes Qt build this for every TrackBar; once per process, before the first is queried.
    static void Install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    TrackBar* Bar() const;
};
