#include "controls/LayoutMgr.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace {

using Rule = LayoutMgr::Rule;
using EdgeRule = LayoutMgr::EdgeRule;

TEST(LayoutMgr, FourAnchorsKeepTheMarginsOnResize) {
    QWidget parent;
    parent.resize(200, 100);
    QWidget child(&parent);
    child.setGeometry(10, 5, 170, 80); // margins 10, 5, 20, 15
    LayoutMgr layout(&parent);
    layout.AddAnchored(&child);
    parent.show(); // hidden widgets get their resize events only when shown

    parent.resize(400, 300);
    EXPECT_EQ(child.geometry(), QRect(10, 5, 370, 280));
    parent.resize(100, 50);
    EXPECT_EQ(child.geometry(), QRect(10, 5, 70, 30));
    // A parent of zero size is not laid out: the child keeps its place.
    parent.resize(0, 50);
    EXPECT_EQ(child.geometry(), QRect(10, 5, 70, 30));
}

TEST(LayoutMgr, ProportionalCentredRelativeAndFreeEdges) {
    QWidget parent;
    parent.resize(200, 100);
    QWidget half(&parent), centred(&parent), follower(&parent), corner(&parent);
    half.setGeometry(0, 0, 100, 20);
    centred.setGeometry(80, 40, 40, 20);
    follower.setGeometry(110, 0, 30, 20); // 10 pixels right of half's right edge
    corner.setGeometry(170, 80, 20, 10);  // keeps its size at the bottom right

    LayoutMgr layout(&parent);
    EdgeRule anchor{Rule::Anchor};
    EdgeRule free{Rule::Free};
    layout.Add(&half, {anchor, anchor, EdgeRule{Rule::Proportional, 50}, free});
    layout.Add(&centred, {EdgeRule{Rule::Centre}, EdgeRule{Rule::Centre}, free, free});
    EdgeRule afterHalf{Rule::Relative, 0, &half, LayoutMgr::kRight};
    layout.Add(&follower, {afterHalf, anchor, free, free});
    layout.Add(&corner, {free, free, anchor, anchor});
    parent.show();

    parent.resize(400, 200);
    EXPECT_EQ(half.geometry(), QRect(0, 0, 200, 20));
    EXPECT_EQ(centred.geometry(), QRect(180, 90, 40, 20));
    EXPECT_EQ(follower.geometry(), QRect(210, 0, 30, 20));
    EXPECT_EQ(corner.geometry(), QRect(370, 180, 20, 10));
}

TEST(LayoutMgr, RemovedAndDeletedControlsAreLeftAlone) {
    QWidget parent;
    parent.resize(100, 100);
    auto* gone = new QWidget(&parent);
    QWidget kept(&parent);
    gone->setGeometry(0, 0, 50, 50);
    kept.setGeometry(0, 0, 50, 50);
    LayoutMgr layout(&parent);
    layout.AddAnchored(gone);
    layout.AddAnchored(&kept);
    EXPECT_TRUE(layout.Contains(&kept));
    layout.Remove(&kept);
    EXPECT_FALSE(layout.Contains(&kept));
    delete gone;
    parent.show();
    parent.resize(200, 200);
    EXPECT_EQ(kept.geometry(), QRect(0, 0, 50, 50));
}

} // namespace
