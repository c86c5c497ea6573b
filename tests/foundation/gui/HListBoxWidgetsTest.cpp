#include "foundation/gui/HListBoxWidgets.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "foundation/IniFileUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "support/Sandbox.h"

namespace {
QStringList Captions(QMenu& menu)
{
    QStringList c;
    for (QAction* a : menu.actions())
        c << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return c;
}
} // namespace

TEST(HistoryMenuTest, EntriesFollowTheMenusOwnItemsWithHexPositionsAndClicksReportTheEntry)
{
    THistoryList list;
    list.SetMaxLen(30);
    QMenu menu;
    menu.addAction(QStringLiteral("Open..."));
    QMenu second;
    THistoryMenu mirror(list);
    mirror.SetMenu(&menu);
    mirror.SetMenu2(&second);
    for (int i = 20; i >= 1; --i)
        mirror.AddString("task" + std::to_string(i) + ".buj");
    const QStringList c = Captions(menu);
    ASSERT_EQ(22, c.size());
    EXPECT_EQ(QStringLiteral("Open..."), c[0]);
    EXPECT_EQ(QStringLiteral("-"), c[1]);
    EXPECT_EQ(QStringLiteral("1 task1.buj"), c[2]);
    EXPECT_TRUE(c[17].startsWith(QStringLiteral("10 ")));
    EXPECT_TRUE(c[21].startsWith(QStringLiteral("14 ")));
    EXPECT_EQ(21, second.actions().size()); // the separator and the 20 entries

    QSignalSpy spy(&mirror, &THistoryMenu::AutoItemClickIndex);
    menu.actions()[21]->trigger();
    ASSERT_EQ(1, spy.count());
    EXPECT_EQ(19, spy[0][1].toInt());

    mirror.RemString("TASK1.BUJ");
    EXPECT_EQ(21, menu.actions().size());
    mirror.ClearAll();
    EXPECT_EQ(1, menu.actions().size());
}

TEST(HistoryMenuTest, WithoutHotKeysAmpersandsAreDoubledAndRadioMenusKeepTheirTick)
{
    THistoryList list;
    QMenu menu;
    THistoryMenu mirror(list);
    mirror.SetShowHotKeys(false);
    mirror.SetRadioMenu(true);
    mirror.SetMenu(&menu);
    mirror.AddString("B&W");
    mirror.AddString("colour");
    EXPECT_EQ(QStringLiteral("2 B&&W"), menu.actions()[1]->text());
    QSignalSpy spy(&mirror, &THistoryMenu::AutoItemClick);
    menu.actions()[1]->trigger();
    ASSERT_EQ(1, spy.count());
    EXPECT_EQ(QStringLiteral("B&W"), spy[0][1].toString());
    mirror.AddString("new");
    // The ticked entry keeps its tick over the rebuild.
    EXPECT_TRUE(menu.actions()[2]->isChecked());
    EXPECT_TRUE(mirror.SelectMenuItem("new"));
    EXPECT_TRUE(menu.actions()[0]->isChecked());
    EXPECT_FALSE(menu.actions()[2]->isChecked());
    EXPECT_FALSE(mirror.SelectMenuItem("absent"));
}

class HistoryComboTest : public SandboxTest
{
};

TEST_F(HistoryComboTest, LeavingTheComboAddsItsTextAndTheListIsSavedWhenItGoes)
{
    const std::string ini = sandbox.Path("settings.ini");
    {
        QWidget w;
        auto* combo = new THistoryCombo(&w);
        combo->setObjectName(QStringLiteral("cbDest"));
        auto* other = new QLineEdit(&w);
        auto* layout = new QVBoxLayout(&w);
        layout->addWidget(combo);
        layout->addWidget(other);
        combo->IniFileName = ini;
        combo->IniSection = "Dest";
        combo->AddItem("/backup/one");
        w.show();
        QApplication::setActiveWindow(&w);
        combo->setFocus();
        combo->setEditText(QStringLiteral("/backup/two"));
        other->setFocus();
        EXPECT_TRUE(combo->Modified);
        EXPECT_EQ(2, combo->count());
        EXPECT_EQ(QStringLiteral("/backup/two"), combo->itemText(0));
        EXPECT_EQ(1, combo->FindItem("/BACKUP/O"));
        EXPECT_EQ(-1, combo->FindItem("x"));
    }
    TMemIniFile file(ini);
    EXPECT_EQ("/backup/two", file.ReadString("Dest", "History0", ""));
    EXPECT_EQ("/backup/one", file.ReadString("Dest", "History1", ""));

    THistoryCombo again;
    again.LoadFromIni(ini, "Dest");
    EXPECT_EQ(2, again.count());
    again.IniFileName.clear();
}

TEST_F(HistoryComboTest, ComboRoutinesKeepAtMostTheDropDownCount)
{
    const std::string ini = sandbox.Path("names.ini");
    QComboBox combo;
    combo.setEditable(true);
    combo.setMaxVisibleItems(3);
    for (const char* s : {"a", "b", "c", "d"})
        AddToHistoryCombo(&combo, s);
    EXPECT_EQ(3, combo.count());
    EXPECT_EQ(QStringLiteral("d"), combo.itemText(0));
    AddToHistoryCombo(&combo, "B");
    EXPECT_EQ(QStringLiteral("B"), combo.itemText(0));
    EXPECT_EQ(3, combo.count());
    combo.addItem(QStringLiteral("extra"));
    SaveHistoryCombo(ini, "Users", true, &combo, -1, false);
    QComboBox loaded;
    loaded.setMaxVisibleItems(10);
    LoadHistoryCombo(ini, "Users", &loaded, -1, false);
    EXPECT_EQ(3, loaded.count());
    EXPECT_EQ(0, loaded.currentIndex());

    QListWidget lb;
    lb.addItems({QStringLiteral("x"), QStringLiteral("y")});
    EXPECT_EQ("", GetSelectedItem(&lb));
    lb.item(1)->setSelected(true);
    EXPECT_EQ("y", GetSelectedItem(&lb));
}
