#include "core/form_model.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <set>

namespace noxa {
namespace {

TEST(FormModel, StartsWithTheLayoutTexts) {
    FormModel form;
    EXPECT_EQ(form.Text(FormText::Lmv), "--");
    EXPECT_EQ(form.Text(FormText::LHz), "-");
    EXPECT_EQ(form.Text(FormText::Ltir), "- -");
    EXPECT_EQ(form.Text(FormText::Lnelm), "--");
    EXPECT_EQ(form.Text(FormText::LDiaJ2000), "JD 2000");
    EXPECT_EQ(form.Text(FormText::Esitio), "qelvoxxx");
    EXPECT_EQ(form.Text(FormText::Esalto), "60");
    EXPECT_EQ(form.Text(FormText::EPuertoEth), "2255");
    EXPECT_EQ(form.Text(FormText::EDirEth), "192.168.1.20");
    EXPECT_TRUE(form.Checked(FormCheck::CBGuardar));
    EXPECT_FALSE(form.Checked(FormCheck::CBvermensaje));
    ASSERT_EQ(form.LogLines().size(), 1u);
    EXPECT_EQ(form.LogLines().front(), "Log");
}

TEST(FormModel, NamesEveryComponentOnce) {
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < kFormTextCount; ++i) {
        EXPECT_TRUE(names.insert(ComponentName(static_cast<FormText>(i))).second);
    }
    EXPECT_EQ(ComponentName(FormText::L_DEC), "L_DEC");
    EXPECT_EQ(ComponentName(FormCheck::CBGuardar), "CBGuardar");
}

TEST(FormModel, SignalsOnlyRealChanges) {
    FormModel form;
    QSignalSpy texts(&form, &FormModel::textChanged);
    QSignalSpy colour(&form, &FormModel::rxColourChanged);
    form.SetText(FormText::Lmv, "21.34");
    form.SetText(FormText::Lmv, "21.34");
    form.SetRxColour(kIndicatorGray);
    form.SetRxColour(kIndicatorGray);
    EXPECT_EQ(texts.count(), 1);
    EXPECT_EQ(colour.count(), 1);
    EXPECT_EQ(form.Text(FormText::Lmv), "21.34");
}

TEST(FormModel, LogKeepsItsNewestLines) {
    FormModel form;
    for (int i = 0; i < 5003; ++i) form.AppendLog(LogLevel::Info, "line " + std::to_string(i));
    ASSERT_EQ(form.LogLines().size(), FormModel::kLogLimit);
    EXPECT_EQ(form.LogLines().front(), "line 3");
    EXPECT_EQ(form.LogLines().back(), "line 5002");
    form.ClearLog();
    EXPECT_TRUE(form.LogLines().empty());
    form.AppendLog(LogLevel::Info, "first");
    EXPECT_EQ(form.LogLines().front(), "first");
    // Debug lines only when asked for; each line keeps its level.
    form.AppendLog(LogLevel::Debug, "detail");
    form.SetLogThreshold(LogLevel::Debug);
    form.AppendLog(LogLevel::Debug, "asked for");
    EXPECT_EQ(form.LogLines().back(), "asked for");
    EXPECT_EQ(form.LogLines().size(), 2u);
    EXPECT_EQ(form.LogLevels().back(), LogLevel::Debug);
}

}  // namespace
}  // namespace noxa

namespace noxa {
namespace {

// A watch hears its own field only, and nothing once its context is gone.
TEST(FormModel, AWatchFollowsOneFieldWhileItsContextLives) {
    FormModel form;
    int calls = 0;
    {
        QObject context;
        form.WatchText(FormText::Esalto, context, [&] { ++calls; });
        form.SetText(FormText::Esalto, "37");
        form.SetText(FormText::Lmv, "21.34");
        EXPECT_EQ(calls, 1);
    }
    form.SetText(FormText::Esalto, "120");
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace noxa
