#include "workspace/sendtobutton.h"

#include "handofffakes.h"
#include "menutitles.h"
#include "ui/button.h"
#include "ui/environment.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

TEST(SendToButtonTest, DisabledWithoutTextAndItsMenuOtherwise) {
    HandoffFakes fakes(false);
    SendToButton button(fakes.handoff);
    EXPECT_FALSE(button.button()->isEnabled());
    EXPECT_FALSE(button.createMenu());
    EXPECT_EQ(button.button()->toolTip(), "Send to");

    SendableText text;
    text.text = "summary";
    text.from = WorkspaceTool::Summarize;
    button.setContent(text);
    EXPECT_TRUE(button.button()->isEnabled());
    std::unique_ptr<QMenu> menu(button.createMenu());
    EXPECT_EQ(menuTitles(*menu),
              (QStringList{"New Note", "—", "Translate", "Proofread", "—", "Save as File…", "Share…"}));

    struct Case {
        TextSize size;
        int chevron;
    };
    for (const Case &c : {Case{TextSize::Standard, 10}, Case{TextSize::Large, 12}, Case{TextSize::Larger, 13},
                          Case{TextSize::Largest, 15}}) {
        Environment::setTextSize(&button, c.size);
        EXPECT_EQ(button.chevronPointSize(), c.chevron);
    }
}
