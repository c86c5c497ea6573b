#include "foundation/gui/NumberEd.h"

#include <QDialog>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "support/gui/GuiTestUtil.h"

TEST(NumberEdTest, ValuesAreShownInTheirRadixDigitsGroupsAndBytes)
{
    struct Case
    {
        int64_t Value;
        TNumMode Mode;
        int Bits, Digits;
        bool Prefix, Bytes;
        int Group;
        const char* Text;
    };
    const Case cases[] = {
        {255, nmHex, 16, 0, true, false, 0, "$00FF"},
        {255, nmHex, 16, 0, true, true, 0, "$00_$FF"},
        {65535, nmDecimal, 32, 0, true, false, 3, "65 535"},
        {42, nmDecimal, 32, 5, true, false, 0, "   42"},
        {42, nmZeroDec, 16, 0, true, false, 0, "00042"},
        {5, nmBin, 8, 0, true, false, 4, "!0000 0101"},
        {8, nmOctal, 8, 0, false, false, 0, "010"},
        {0x1234, nmDecimal, 16, 0, false, true, 0, "018_052"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.Text, FormatNumberText(c.Value, c.Mode, c.Bits, c.Digits, c.Prefix, c.Bytes, c.Group));
}

TEST(NumberEdTest, TextsAreReadInTheRadixOfTheirPrefixAndBytesAreJoined)
{
    struct Case
    {
        const char* Text;
        bool Prefix;
        TNumMode Radix;
        int64_t Value;
        bool Error;
    };
    const Case cases[] = {
        {"65 535", true, nmDecimal, 65535, false}, {"1_0", true, nmDecimal, 256, false},
        {"$00_$FF", true, nmDecimal, 255, false},  {"%17", true, nmDecimal, 15, false},
        {"!101", true, nmDecimal, 5, false},       {"ff", false, nmHex, 255, false},
        {"4294967296", true, nmDecimal, 0, true},  {"12x", true, nmDecimal, 0, true},
        {"-12", true, nmDecimal, -12, false},
    };
    for (const Case& c : cases) {
        bool error = false;
        EXPECT_EQ(c.Value, ParseNumberText(c.Text, c.Prefix, c.Radix, error)) << c.Text;
        EXPECT_EQ(c.Error, error) << c.Text;
    }
    bool error = true;
    EXPECT_EQ(0, ParseNumberText(" - ", true, nmDecimal, error));
    EXPECT_TRUE(error); // an empty text leaves the flag alone
}

TEST(NumberEdTest, TypingAPrefixSwitchesTheInputRadixAndOtherCharactersAreDropped)
{
    TNumberEdit edit;
    edit.SetBits(16);
    edit.SetNumMode(nmHex);
    edit.SetValue(255);
    EXPECT_EQ(QStringLiteral("$00FF"), edit.text());
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("%17"));
    EXPECT_EQ(QStringLiteral("%17"), edit.text());
    EXPECT_EQ(nmOctal, edit.InputRadix());
    EXPECT_EQ(15, edit.Value());
    QTest::keyClicks(&edit, QStringLiteral("9a")); // not octal digits
    EXPECT_EQ(QStringLiteral("%17"), edit.text());

    TNumberEdit dec;
    dec.clear();
    QTest::keyClicks(&dec, QStringLiteral("12ab 3"));
    EXPECT_EQ(QStringLiteral("12 3"), dec.text());
    EXPECT_EQ(123, dec.Value());
    EXPECT_FALSE(dec.CheckError());
}

TEST(NumberEdTest, RangeEditClampsValuesSetByCodeAndEqualBoundsMeanNoRange)
{
    TRangeEdit edit;
    edit.SetMinValue(1);
    edit.SetMaxValue(999);
    edit.SetValue(1000);
    EXPECT_EQ(999, edit.Value());
    edit.SetValue(-5);
    EXPECT_EQ(1, edit.Value());
    edit.SetMinValue(7);
    edit.SetMaxValue(7);
    edit.SetValue(123456);
    EXPECT_EQ(123456, edit.Value());
    EXPECT_TRUE(edit.InRange(-3));
}

TEST(NumberEdTest, LeavingARangeEditWithAnOutOfRangeValueIsRefusedInPlace)
{
    ClearMsgDialogLog();
    QDialog dlg;
    auto* edit = new TRangeEdit(&dlg);
    auto* other = new QLineEdit(&dlg);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(edit);
    layout->addWidget(other);
    edit->SetMinValue(1);
    edit->SetMaxValue(999);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1000"));
    QueueMsgDialogAnswer(mrCancel);
    other->setFocus();
    ASSERT_EQ(1u, MsgDialogLog().size());
    EXPECT_EQ("Range check error (1 .. 999)", MsgDialogLog()[0].Text);
    EXPECT_EQ(mdtError, MsgDialogLog()[0].DlgType);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(QStringLiteral("1000"), edit->text());
    EXPECT_TRUE(edit->RangeError);

    // Without the range check the value is clamped silently.
    ClearMsgDialogLog();
    edit->SetRangeCheck(false);
    other->setFocus();
    EXPECT_TRUE(MsgDialogLog().empty());
    EXPECT_EQ(QStringLiteral("999"), edit->text());
    EXPECT_EQ("Range check error ($0 .. $FF)", RangeErrorText(0, nmHex, 255));
}

TEST(NumberEdTest, UpDownStepsByItsIncrementAndStopsAtTheBounds)
{
    QWidget parent;
    auto* edit = new TRangeEdit(&parent);
    edit->setObjectName(QStringLiteral("reCount"));
    edit->SetMaxValue(200);
    edit->SetValue(100);
    auto* ud = new TNumUpDown(&parent);
    ud->setObjectName(QStringLiteral("udCount"));
    ud->SetAssociate(edit);
    ud->Increment = 64;
    EXPECT_EQ(edit->geometry().right() + 1, ud->x());
    QTest::mouseClick(ud, Qt::LeftButton, {}, QPoint(8, 2));
    EXPECT_EQ(164, edit->Value());
    QTest::mouseClick(ud, Qt::LeftButton, {}, QPoint(8, 2));
    EXPECT_EQ(200, edit->Value());
    QTest::mouseClick(ud, Qt::LeftButton, {}, QPoint(8, ud->height() - 2));
    EXPECT_EQ(136, edit->Value());

    auto* second = new TNumUpDown(&parent);
    second->setObjectName(QStringLiteral("udOther"));
    try {
        second->SetAssociate(edit);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ("reCount is already associated with udCount", e.Message());
    }
    QWidget elsewhere;
    auto* foreign = new TNumberEdit(&elsewhere);
    second->SetAssociate(foreign);
    EXPECT_EQ(nullptr, second->Associate());
}

TEST(NumberEdTest, FloatEditStepsByTheMultiplierAndRefusesBadText)
{
    TFloatEdit edit;
    edit.SetValue(1.5);
    EXPECT_EQ(QStringLiteral("1.50"), edit.text());
    edit.StepMultiplier = 0.5;
    edit.IncrementValue(1);
    EXPECT_DOUBLE_EQ(2.0, edit.Value());
    edit.setText(QStringLiteral("1e"));
    EXPECT_THROW(edit.Value(), EConvertError);
    edit.setText(QStringLiteral("-"));
    EXPECT_DOUBLE_EQ(2.0, edit.Value());
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("3x.25"));
    EXPECT_EQ(QStringLiteral("3.25"), edit.text());
    EXPECT_EQ("2.50", FormatFloatNum(ffFixed, 10, 2, 2.5));
    EXPECT_EQ("2.5E+00", FormatFloatNum(ffExponent, 2, 2, 2.5));
}
