#include "controls/LayoutMgr.h"

#include <QEvent>
#include <algorithm>

namespace {
// Exclusive right and bottom edges, as the distances are measured.
int Right(const QRect& r) {
    return r.x() + r.width();
}
int Bottom(const QRect& r) {
    return r.y() + r.height();
}
} // namespace

LayoutMgr::LayoutMgr(QWidget* parent) : QObject(parent), parent_(parent) {
    parent_->installEventFilter(this);
}

int LayoutMgr::EdgeOf(const QRect& r, Edge edge) const {
    switch (edge) {
    case kLeft:
        return r.x();
    case kTop:
        return r.y();
    case kRight:
        return Right(r);
    case kBottom:
        return Bottom(r);
    }
    return 0;
}

void LayoutMgr::AddAnchored(QWidget* control) {
    EdgeRule anchor;
    anchor.rule = Rule::Anchor;
    Add(control, {anchor, anchor, anchor, anchor});
}

void LayoutMgr::Add(QWidget* control, const std::array<EdgeRule, 4>& rules) {
    if (control == nullptr)
        return;
    Remove(control);
    Item item;
    item.control = control;
    item.rules = rules;
    const QRect r = control->geometry();
    const QSize client = parent_->size();
    item.size = r.size();
    for (int e = 0; e < 4; ++e) {
        const Edge edge = static_cast<Edge>(e);
        const EdgeRule& rule = rules[e];
        const int at = EdgeOf(r, edge);
        if (rule.rule == Rule::Anchor) {
            const int far = (edge == kLeft || edge == kRight) ? client.width() : client.height();
            item.distance[e] = (edge == kLeft || edge == kTop) ? at : far - at;
        } else if (rule.rule == Rule::Relative && rule.other != nullptr) {
            item.distance[e] = at - EdgeOf(rule.other->geometry(), rule.otherEdge);
        }
    }
    items_.push_back(std::move(item));
}

void LayoutMgr::Remove(QWidget* control) {
    std::erase_if(items_, [control](const Item& item) {
        return item.control == nullptr || item.control == control;
    });
}

bool LayoutMgr::Contains(const QWidget* control) const {
    return std::any_of(items_.begin(), items_.end(),
                       [control](const Item& item) { return item.control == control; });
}

const QRect* LayoutMgr::RectOf(const QWidget* control, const std::vector<QRect>& rects) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].control == control)
            return &rects[i];
    }
    return nullptr;
}

void LayoutMgr::Apply() {
    const QSize client = parent_->size();
    std::vector<QRect> rects;
    rects.reserve(items_.size());
    for (const Item& item : items_)
        rects.push_back(item.control ? item.control->geometry() : QRect());

    for (int pass = 0; pass < kMaxPasses; ++pass) {
        bool changed = false;
        for (size_t i = 0; i < items_.size(); ++i) {
            const Item& item = items_[i];
            if (!item.control)
                continue;
            // Per axis: lo and hi edges, the extent of the parent and the registered size.
            int edges[4] = {rects[i].x(), rects[i].y(), Right(rects[i]), Bottom(rects[i])};
            bool set[4] = {false, false, false, false};
            for (int e = 0; e < 4; ++e) {
                const EdgeRule& rule = item.rules[e];
                const bool horizontal = e == kLeft || e == kRight;
                const int extent = horizontal ? client.width() : client.height();
                switch (rule.rule) {
                case Rule::Anchor:
                    edges[e] =
                        (e == kLeft || e == kTop) ? item.distance[e] : extent - item.distance[e];
                    set[e] = true;
                    break;
                case Rule::Proportional:
                    edges[e] = extent * rule.value / 100;
                    set[e] = true;
                    break;
                case Rule::Relative:
                    if (const QRect* other = RectOf(rule.other, rects)) {
                        edges[e] = EdgeOf(*other, rule.otherEdge) + item.distance[e];
                        set[e] = true;
                    }
                    break;
                case Rule::Centre: {
                    const int size = horizontal ? item.size.width() : item.size.height();
                    const int lo = (extent - size) / 2;
                    const int loEdge = horizontal ? kLeft : kTop;
                    edges[loEdge] = lo;
                    edges[loEdge + 2] = lo + size;
                    set[loEdge] = set[loEdge + 2] = true;
                    break;
                }
                case Rule::Free:
                    break;
                }
            }
            for (int lo = 0; lo < 2; ++lo) {
                const int size = lo == kLeft ? item.size.width() : item.size.height();
                if (set[lo] && !set[lo + 2])
                    edges[lo + 2] = edges[lo] + size;
                else if (!set[lo] && set[lo + 2])
                    edges[lo] = edges[lo + 2] - size;
            }
            const QRect next(edges[kLeft], edges[kTop], std::max(0, edges[kRight] - edges[kLeft]),
                             std::max(0, edges[kBottom] - edges[kTop]));
            if (next != rects[i]) {
                rects[i] = next;
                changed = true;
            }
        }
        if (!changed)
            break;
    }

    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].control && items_[i].control->geometry() != rects[i])
            items_[i].control->setGeometry(rects[i]);
    }
    parent_->update();
}

bool LayoutMgr::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent_ && event->type() == QEvent::Resize && parent_->width() > 0 &&
        parent_->height() > 0)
        Apply();
    return QObject::eventFilter(watched, event);
}
