#pragma once
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <array>
#include <vector>

// Keeps registered child controls placed when their parent is resized. Each edge of a control
// follows one rule:
//  - Anchor: keeps the distance to the same edge of the parent's client area it had when the
//    control was registered;
//  - Proportional: lies at value hundredths of the parent's width (left, right) or height;
//  - Relative: keeps the distance it had at registration to an edge of another registered
//    control;
//  - Centre: the control keeps its size and is centred on that axis;
//  - Free: the edge follows the opposite edge so that the size stays.
// The computation is repeated until no rectangle changes, at most 100 times (relative rules may
// chain), and then every control is moved in one batch and the parent is repainted.
class LayoutMgr : public QObject {
    Q_OBJECT
public:
    enum Edge { kLeft = 0, kTop = 1, kRight = 2, kBottom = 3 };
    enum class Rule { Free, Anchor, Proportional, Relative, Centre };
    struct EdgeRule {
        Rule rule = Rule::Free;
        int value = 0;            // Proportional: hundredths
        QWidget* other = nullptr; // Relative: the other control ...
        Edge otherEdge = kLeft;   // ... and its edge
    };
    static constexpr int kMaxPasses = 100;

    // Watches parent's resizes; the controls must be its children.
    explicit LayoutMgr(QWidget* parent);

    // All four edges anchored: the control keeps its margins, so it grows with the parent.
    void AddAnchored(QWidget* control);
    // Rules in the order left, top, right, bottom. Registering a control again replaces its rules.
    void Add(QWidget* control, const std::array<EdgeRule, 4>& rules);
    void Remove(QWidget* control);
    bool Contains(const QWidget* control) const;

    // Places every control for the parent's current size (done on every resize).
    void Apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        QPointer<QWidget> control;
        std::array<EdgeRule, 4> rules;
        std::array<int, 4> distance{}; // per edge: what the rule keeps
        QSize size;                    // at registration, for Free and Centre
    };
    int EdgeOf(const QRect& r, Edge edge) const;
    const QRect* RectOf(const QWidget* control, const std::vector<QRect>& rects) const;

    QWidget* parent_;
    std::vector<Item> items_;
};
