#pragma once
#include <QAccessible>
#include <QMetaEnum>
#include <QWidget>
#include <set>
#include <string>

// What an assistive tool reads below a widget: "Role name [description] =value" for every
// accessible object (the last two when it has them), for tests to look lines up in.
inline void ReadAccessible(QAccessibleInterface* node, std::set<std::string>& lines) {
    const QString d = node->text(QAccessible::Description), v = node->text(QAccessible::Value);
    lines.insert(QMetaEnum::fromType<QAccessible::Role>().valueToKey(node->role()) +
                 (" " + node->text(QAccessible::Name) + (d.isEmpty() ? "" : " [" + d + "]") +
                  (v.isEmpty() ? "" : " =" + v))
                     .toStdString());
    for (int i = 0; i < node->childCount(); ++i)
        ReadAccessible(node->child(i), lines);
}
inline std::set<std::string> AccessibleTree(QWidget* widget) {
    std::set<std::string> lines;
    ReadAccessible(QAccessible::queryAccessibleInterface(widget), lines);
    return lines;
}
