// The rubber-band rectangle control: moving and resizing by each kind of handle, normalising, the mouse kept
// inside during a drag, presses outside the rectangle passed on, and the picture it paints.
#include <gtest/gtest.h>

#include <QTest>

#include <vector>

#include "tests/ui/ui_test_util.h"
#include "ui/rgn_select.h"

namespace {

struct Edited {
    int l, t, w, h;
    bool operator==(const Edited&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Edited& e) {
    return os << "(" << e.l << ", " << e.t << ", " << e.w << " x " << e.h << ")";
}

class RgnSelectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rgn.EditMode = true;
        rgn.setFixedSize(640, 480);
        rgn.SetSelectionX(100);
        rgn.SetSelectionY(100);
        rgn.SetSelectionW(200);
        rgn.SetSelectionH(100);
        rgn.OnEdited = [this](TRgnSelect*, int l, int t, int w, int h) { edited.push_back({l, t, w, h}); };
        rgn.OnEditing = [this](TRgnSelect*, int l, int t, int w, int h) { editing.push_back({l, t, w, h}); };
        rgn.OnMouseDown = [this](TRgnSelect*, QMouseEvent*) { ++passedDowns; };
        rgn.show();
    }
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(&rgn, Qt::LeftButton, {}, from);
        QTest::mouseMove(&rgn, (from + to) / 2);
        QTest::mouseMove(&rgn, to);
        QTest::mouseRelease(&rgn, Qt::LeftButton, {}, to);
    }
    Edited selection() const {
        return {rgn.SelectionX(), rgn.SelectionY(), rgn.SelectionW(), rgn.SelectionH()};
    }

    TRgnSelect rgn;
    std::vector<Edited> edited;
    std::vector<Edited> editing;
    int passedDowns = 0;
};

TEST_F(RgnSelectTest, DragsGiveTheRectangleOfTheirHandle) {
    struct Case {
        const char* what;
        QPoint from, to;
        Edited result;
    };
    // Selection (100, 100, 200 x 100): L 100, T 100, R 300, B 200.
    const Case cases[] = {
        {"bottom-right handle 7", {300, 200}, {340, 230}, {100, 100, 240, 130}},
        {"left handle 3 past the right edge", {102, 150}, {402, 150}, {300, 100, 100, 100}},
        {"top handle 1 past the bottom", {200, 101}, {200, 251}, {100, 200, 200, 50}},
        {"bottom-left handle 5", {101, 198}, {81, 218}, {80, 100, 220, 120}},
        {"top-right handle 2", {298, 100}, {318, 90}, {100, 90, 220, 110}},
        {"move left by 150 from x = 160", {160, 150}, {10, 150}, {-50, 100, 200, 100}},
        {"resize to nothing", {300, 200}, {100, 200}, {100, 100, 0, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        edited.clear();
        drag(c.from, c.to);
        EXPECT_EQ(selection(), c.result);
        ASSERT_EQ(edited.size(), 1u);
        EXPECT_EQ(edited[0], c.result);
        EXPECT_FALSE(rgn.Moving() || rgn.Resizing());
    }
}

TEST_F(RgnSelectTest, TopLeftHandleJumpsToTheMouse) {
    // Handle 0 follows the mouse itself: grabbed 2 pixels inside its square, the corner lands there.
    QTest::mousePress(&rgn, Qt::LeftButton, {}, QPoint(102, 103));
    QTest::mouseRelease(&rgn, Qt::LeftButton, {}, QPoint(102, 103));
    EXPECT_EQ(selection(), (Edited{102, 103, 198, 97}));
}

TEST_F(RgnSelectTest, MouseStaysInsideTheControlDuringADrag) {
    drag({300, 200}, {900, 700});
    EXPECT_EQ(selection(), (Edited{100, 100, 539, 379}));  // right and bottom at the last pixels, 639 and 479
}

TEST_F(RgnSelectTest, ReportsTheBandWhileDraggingAndTheMouseWhileHovering) {
    QTest::mouseMove(&rgn, QPoint(20, 30));
    ASSERT_FALSE(editing.empty());
    EXPECT_EQ(editing.back(), (Edited{20, 30, -1, -1}));
    QTest::mousePress(&rgn, Qt::LeftButton, {}, QPoint(150, 150));
    QTest::mouseMove(&rgn, QPoint(160, 170));
    EXPECT_TRUE(rgn.Moving());
    EXPECT_EQ(editing.back(), (Edited{110, 120, 200, 100}));
    EXPECT_EQ(selection(), (Edited{100, 100, 200, 100}));  // unchanged until the release
    QTest::mouseRelease(&rgn, Qt::LeftButton, {}, QPoint(160, 170));
    EXPECT_EQ(selection(), (Edited{110, 120, 200, 100}));
}

TEST_F(RgnSelectTest, PressOutsideTheRectangleIsPassedOn) {
    drag({400, 400}, {450, 450});
    EXPECT_EQ(passedDowns, 1);
    EXPECT_TRUE(edited.empty());
    EXPECT_EQ(selection(), (Edited{100, 100, 200, 100}));
}

TEST_F(RgnSelectTest, OutsideEditModeNothingIsEdited) {
    rgn.EditMode = false;
    drag({300, 200}, {340, 230});
    EXPECT_TRUE(edited.empty());
    EXPECT_EQ(passedDowns, 1);
}

TEST_F(RgnSelectTest, HandleCursorsFollowTheTable) {
    const Qt::CursorShape expected[8] = {Qt::SizeFDiagCursor, Qt::SizeVerCursor,  Qt::SizeBDiagCursor,
                                         Qt::SizeHorCursor,   Qt::SizeHorCursor,  Qt::SizeBDiagCursor,
                                         Qt::SizeVerCursor,   Qt::SizeFDiagCursor};
    auto handles = TRgnSelect::HandleRectsFor(rgn.SelRect());
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        QTest::mouseMove(&rgn, QPoint(handles[i].left + 2, handles[i].top + 2));
        EXPECT_EQ(rgn.cursor().shape(), expected[i]);
    }
    QTest::mouseMove(&rgn, QPoint(150, 150));
    EXPECT_EQ(rgn.cursor().shape(), Qt::SizeAllCursor);
}

TEST_F(RgnSelectTest, PaintsThePictureWithAnXorOutlineAndWhiteHandles) {
    QImage red(640, 480, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    rgn.SetBgPicture(red);
    QImage shot = rgn.grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto rgb = [&](int x, int y) { return shot.pixel(x, y) & 0xFFFFFF; };
    EXPECT_EQ(rgb(50, 50), 0xFF0000u);    // the picture
    EXPECT_EQ(rgb(150, 150), 0xFF0000u);  // inside the selection the picture shows unchanged
    int inverted = 0;
    for (int x = 120; x < 180; ++x) {
        uint32_t c = rgb(x, 100);
        EXPECT_TRUE(c == 0xFF0000u || c == 0x00FFFFu) << x;  // dotted: the picture, or the picture XOR white
        inverted += c == 0x00FFFFu;
    }
    EXPECT_GT(inverted, 10);
    EXPECT_EQ(rgb(298, 198), 0xFFFFFFu);  // handle 7: white square
    EXPECT_EQ(rgb(296, 196), 0x000000u);  // with a black border
}

}  // namespace
