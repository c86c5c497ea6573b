// The main window's lists without the window: task lists with comment lines, slot questions, the
// overview rows, the tray texts and the schedule timer's choice of due slots.

#include <gtest/gtest.h>

#include "foundation/BuConsts.h"
#include "foundation/IniFileUtils.h"
#include "mainwindow/BuMainLists.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

TStringList ListOf(std::initializer_list<std::pair<const char*, bool>> items)
{
    TStringList l;
    for (const auto& [text, comment] : items)
        l.AddObject(text, comment ? CommentLine : 0);
    return l;
}

std::vector<std::string> Texts(const TStringList& l)
{
    std::vector<std::string> out;
    for (int i = 0; i < l.Count(); ++i)
        out.push_back((l.Objects(i) == CommentLine ? "#" : "") + l[i]);
    return out;
}

TAutoTaskList Slots()
{
    TAutoTaskList slots;
    for (int i = 0; i < AutoTaskSlotCount; ++i)
        slots.push_back(std::make_unique<TAutoTask>(std::string()));
    return slots;
}

void SetSlot(TAutoTaskList& slots, int nr, const std::string& path, TAutoStart kind)
{
    TAutoTask& s = *slots[static_cast<size_t>(nr - 1)];
    s.TaskPath = path;
    s.TaskName = path.empty() ? std::string()
                              : path.substr(path.rfind('/') + 1, path.rfind('.') - path.rfind('/') - 1);
    s.BuProcess = kind;
}

TEST(TaskListTest, SortMoveAndRemoveKeepCommentLinesInPlace)
{
    TStringList l =
        ListOf({{"b.buj", false}, {"a.buj", false}, {"== work", true}, {"D.buj", false}, {"c.buj", false}});
    EXPECT_EQ(SortTaskRuns(l, 0), 1) << "the selected entry follows the sort";
    EXPECT_EQ(Texts(l), (std::vector<std::string>{"a.buj", "b.buj", "#== work", "c.buj", "D.buj"}));

    struct MoveCase
    {
        std::vector<int> selected;
        bool up;
        std::vector<std::string> order;
        std::vector<int> after;
    } moves[] = {
        {{0, 1}, true, {"1", "2", "3", "4", "5"}, {0, 1}},
        {{1, 3}, true, {"2", "1", "4", "3", "5"}, {0, 2}},
        {{3, 4}, false, {"1", "2", "3", "4", "5"}, {3, 4}},
        {{0, 2}, false, {"2", "1", "4", "3", "5"}, {1, 3}},
        {{}, true, {"1", "2", "3", "4", "5"}, {}},
    };
    for (const auto& m : moves) {
        TStringList five = ListOf({{"1", false}, {"2", false}, {"3", false}, {"4", false}, {"5", false}});
        EXPECT_EQ(MoveEntries(five, m.selected, m.up), m.after);
        EXPECT_EQ(Texts(five), m.order);
    }

    struct RemoveCase
    {
        std::vector<int> selected;
        int current;
        std::vector<std::string> rest;
    } removes[] = {
        {{3, 4}, 2, {"1", "2", "3"}},
        {{0, 2}, 0, {"2", "4", "5"}},
        {{0, 1, 2, 3, 4}, -1, {}},
    };
    for (const auto& r : removes) {
        TStringList five = ListOf({{"1", false}, {"2", false}, {"3", false}, {"4", false}, {"5", false}});
        EXPECT_EQ(RemoveEntries(five, r.selected), r.current);
        EXPECT_EQ(Texts(five), r.rest);
    }
}

class TaskListFileTest : public SandboxTest
{
};

TEST_F(TaskListFileTest, ListsKeepCommentsAndDropTaskFilesThatAreGone)
{
    ActiveTaskDir = sandbox.Path("tasks/");
    WriteFileBytes(sandbox.Path("tasks/here.buj"), "[Global]\r\n");
    WriteFileBytes(sandbox.Path("elsewhere/other.buj"), "[Global]\r\n");
    const std::string ini = sandbox.Path("Vastrel.ini");
    {
        auto w = TUnicodeIniFile::CreateForWrite(ini, true);
        TStringList l = ListOf({{"here.buj", false},
                                {"Nightly, weekly", true},
                                {"gone.buj", false},
                                {sandbox.Path("elsewhere/other.buj").c_str(), false}});
        SaveTaskList(w, "MyBackup", l);
        w.UpdateFile();
    }
    std::string text = ReadFileBytes(ini);
    TStringList back;
    auto r = TUnicodeIniFile::CreateForRead(ini);
    EXPECT_EQ(r.ReadString("MyBackup", "Task1", ""), "&Nightly, weekly");
    LoadTaskList(r, "MyBackup", "buj", back);
    EXPECT_EQ(Texts(back), (std::vector<std::string>{"here.buj", "#Nightly, weekly",
                                                     sandbox.Path("elsewhere/other.buj")}));
    EXPECT_EQ(ListEntryTask(back, 0, "buj"), sandbox.Path("tasks/here.buj"));
    EXPECT_EQ(ListEntryTask(back, 1, "buj"), "");
    EXPECT_EQ(IndexOfTask(back, sandbox.Path("elsewhere/other.buj"), "buj"), 2);
    EXPECT_EQ(IndexOfTask(back, sandbox.Path("tasks/gone.buj"), "buj"), -1);
}

TEST(AutoSlotTest, SlotQuestionsOverviewAndTrayMenu)
{
    TAutoTaskList slots = Slots();
    EXPECT_EQ(GetFreeAutoTask(slots), 0);
    EXPECT_EQ(ScheduleRows(slots).size(), 1u);
    EXPECT_EQ(ScheduleRows(slots)[0].Text, "No automatic backups configured");
    EXPECT_TRUE(TaskMenuItems(slots).empty());

    SetSlot(slots, 3, "/t/Daily.buj", asDailyAt);
    SetSlot(slots, 9, "/t/daily.buj", asByRequest);
    SetSlot(slots, 12, "/t/twelve.buj", asNone);
    slots[2]->ErrStatus = 4;
    slots[0]->TaskPath = "/t/Daily.buj"; // a path without a name does not count
    EXPECT_EQ(AutoTaskIndexOf(slots, "/t/DAILY.buj", 0), 2);
    EXPECT_EQ(AutoTaskIndexOf(slots, "/t/daily.buj", 3), 8);
    EXPECT_EQ(AutoTaskIndexOf(slots, "", 0), -1);
    EXPECT_EQ(GetFreeAutoTask(slots), 0);

    auto rows = ScheduleRows(slots);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].Data, 3);
    EXPECT_EQ(rows[0].Text, "Backup task: Daily");
    EXPECT_EQ(rows[1].Data, 3 + 128 + 256);
    EXPECT_EQ(rows[3].Data, 9 + 128);
    EXPECT_EQ(rows[5].Data, 12);

    auto items = TaskMenuItems(slots);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].first, 0);
    EXPECT_EQ(items[0].second, "All \"By request\"");
    EXPECT_EQ(items[3], (std::pair<int, std::string>{12, "c - twelve"}));

    struct FlagCase
    {
        TAutoStart kind;
        bool byRequestWaits;
        TAutoFlags flags;
    } flagCases[] = {
        {asNone, true, {false, false, false}},      {asLogon, true, {true, false, false}},
        {asDailyAt, false, {true, true, false}},    {asLogoff, false, {true, true, true}},
        {asWeekDay, false, {true, true, true}},     {asByRequest, true, {true, true, false}},
        {asByRequest, false, {true, false, false}},
    };
    for (const auto& c : flagCases) {
        TAutoTaskList one = Slots();
        SetSlot(one, 5, "/t/x.buj", c.kind);
        TAutoFlags f = GetAutoFlags(one, c.byRequestWaits);
        EXPECT_EQ(f.AutoActive, c.flags.AutoActive) << c.kind;
        EXPECT_EQ(f.WaitActive, c.flags.WaitActive) << c.kind;
        EXPECT_EQ(f.LogOffActive, c.flags.LogOffActive) << c.kind;
    }

    for (int nr = 1; nr <= AutoTaskSlotCount; ++nr)
        SetSlot(slots, nr, "/t/s" + std::to_string(nr) + ".buj", asLogon);
    EXPECT_EQ(GetFreeAutoTask(slots), -1);
    std::vector<int> numbers;
    SetSlot(slots, 4, "/t/s2.buj", asWeekly);
    auto lines = TaskScheduleLines(slots, "/t/s2.buj", numbers);
    EXPECT_EQ(numbers, (std::vector<int>{2, 4}));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "1: Always on logon (2)");
    EXPECT_EQ(lines[1].substr(0, 21), "2: On first logon on ");
    EXPECT_TRUE(TaskScheduleLines(slots, "/t/none.buj", numbers).empty());
}

TEST(RunHintTest, SlotsAndTaskListsAreNamedLineByLine)
{
    EXPECT_EQ(BuildRunHint("Vastrel 6.3", "Backup task", "#12"),
              "Vastrel 6.3\nBackup task: \n- Automatic backup 12: ");
    EXPECT_EQ(BuildRunHint("V", "Backup task", "#"), "V\nBackup task: \n- all Automatic backups");
    EXPECT_EQ(BuildRunHint("V", "Backup task", "#0"), "V\nBackup task: \n- all Automatic backups");
    EXPECT_EQ(BuildRunHint("V", "Backup task", "a.buj,\"b, c.buj\""),
              "V\nBackup task: \n- a.buj\n- b, c.buj");
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += (i ? "," : "") + std::string("task") + std::to_string(i) + ".buj";
    const std::string hint = BuildRunHint("V", "Backup task", many);
    EXPECT_LE(hint.size(), 248u);
    EXPECT_EQ(hint.substr(hint.size() - 4), " ff.");
}

TEST(ScheduleTimerTest, ADailySlotRunsOnceItsTimeHasComeAndMovesToItsNextDay)
{
    // 2025-03-05 is a Wednesday.
    const TDateTime wed = EncodeDate(2025, 3, 5);
    struct Case
    {
        const char* what;
        TDateTime next;
        TDateTime now;
        uint32_t days;
        bool runs;
        TDateTime nextAfter;
    } cases[] = {
        {"time passed while the computer was off, same day", wed + 8.0 / 24, wed + 9.0 / 24, 127, true,
         wed + 1 + 8.0 / 24},
        {"not yet time", wed + 10.0 / 24, wed + 9.0 / 24, 127, false, wed + 10.0 / 24},
        {"a later day: wait for the time today", wed - 2 + 10.0 / 24, wed + 9.0 / 24, 127, false,
         wed + 10.0 / 24},
        {"a later day after the time", wed - 2 + 8.0 / 24, wed + 9.0 / 24, 127, true, wed + 1 + 8.0 / 24},
        {"only Mondays: next Monday", wed + 8.0 / 24, wed + 9.0 / 24, 1, true, wed + 5 + 8.0 / 24},
        {"a missed Monday on a Wednesday runs at once", wed - 2 + 10.0 / 24, wed + 9.0 / 24, 1, true,
         wed + 5 + 10.0 / 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TAutoTaskList slots = Slots();
        SetSlot(slots, 2, "/t/a.buj", asDailyAt);
        SetSlot(slots, 3, "/t/b.buj", asLogon);
        slots[1]->NextTime = c.next;
        slots[1]->WeekDay = c.days;
        slots[2]->NextTime = c.next;
        auto due = DueDailyAtSlots(slots, c.now);
        EXPECT_EQ(due, c.runs ? std::vector<int>{1} : std::vector<int>{});
        EXPECT_NEAR(slots[1]->NextTime, c.nextAfter, 1e-6);
        EXPECT_EQ(slots[2]->NextTime, c.next) << "other kinds are left alone";
    }
}

} // namespace
