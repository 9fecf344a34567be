#include "controls/AccessibleSlider.h"

#include "controls/TrackBar.h"

#include <mutex>

namespace {
QAccessibleInterface* Factory(const QString& key, QObject* object) {
    if (key == QLatin1String("TrackBar") && object != nullptr && object->isWidgetType())
        return new AccessibleSlider(static_cast<TrackBar*>(object));
    return nullptr;
}
} // namespace

AccessibleSlider::AccessibleSlider(TrackBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

void AccessibleSlider::Install() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(Factory); });
}

TrackBar* AccessibleSlider::Bar() const {
    return static_cast<TrackBar*>(widget());
}

void* AccessibleSlider::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString AccessibleSlider::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return Bar()->ValueText().isEmpty() ? QString::number(Bar()->Pos()) : Bar()->ValueText();
    return QAccessibleWidget::text(t);
}

QVariant AccessibleSlider::currentValue() const {
    return Bar()->Pos();
}
void AccessibleSlider::setCurrentValue(const QVariant& value) {
    Bar()->Choose(value.toInt());
}
QVariant AccessibleSlider::maximumValue() const {
    return Bar()->RangeMax();
}
QVariant AccessibleSlider::minimumValue() const {
    return Bar()->RangeMin();
}
QVariant AccessibleSlider::minimumStepSize() const {
    return Bar()->LineSize();
}
