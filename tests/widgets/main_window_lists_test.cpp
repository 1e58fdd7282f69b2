// The three lists of the main window, its menus and its layout: the card
// directory chain, sorting, the selection status, the PC pane's handlers.
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSplitter>
#include <QToolButton>

#include "app/card_list.h"
#include "app/internal_view.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"
#include "tests/support/fakes.h"
#include "tests/widgets/main_window_fixture.h"
#include "engine/session.h"

namespace zr::test {
namespace {

using Rows = std::vector<std::pair<QString, QString>>; // name, type

Rows RowsOf(const CardListView& list)
{
  Rows rows;
  for (int i = 0; i < list.Count(); ++i)
    rows.emplace_back(list.RowName(i), list.RowType(i));
  return rows;
}

// A program whose serial link is a recording fake, for the directory chain.
class CardListTest : public ::testing::Test {
protected:
  CardListTest()
  {
    h.session().Com = &link;
    h.session().link.CommMedium = 1;
  }
  ~CardListTest() override { h.session().Com = nullptr; }

  CardListView& List() { return *h.Form().SolanoView(); }
  // Answers each directory request with the names given for its type.
  void RunChain(const std::map<int, std::vector<std::string>>& card, bool midi = false)
  {
    h.batch().RequestCardDirectory(-1);
    for (std::size_t answered = 0; answered < link.directoryRequests.size(); ++answered) {
      const int type = link.directoryRequests[answered];
      const auto found = card.find(type);
      h.batch().CardDirectoryReply(type, found == card.end() ? std::vector<std::string>{} : found->second,
                                   midi);
    }
  }

  ProgramHarness h{QStringLiteral("[Communication]\nMedium=1\nComPort=0\n")};
  FakeLink link;
};

TEST_F(CardListTest, AnEmptyCardIsNineRequestsAndNoRows)
{
  h.session().timers.UploadTimer.Start();
  RunChain({});
  EXPECT_EQ(link.directoryRequests, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(List().Count(), 0);
  EXPECT_FALSE(h.session().timers.UploadTimer.IsActive());
}

struct ChainCase {
  const char* name;
  std::map<int, std::vector<std::string>> card;
  Rows rows; // sorted by name afterwards
};

class Chain : public CardListTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(Chain, FillsTheListByNameAndType)
{
  RunChain(GetParam().card);
  EXPECT_EQ(RowsOf(List()), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, Chain,
    ::testing::Values(ChainCase{"SameNameTwoTypes",
                                {{0, {"MIX"}}, {1, {"MIX"}}},
                                {{"MIX", "Project (all)"}, {"MIX", "Channel Library"}}},
                      ChainCase{"DuplicateEntriesOnce", {{1, {"MIX", "MIX"}}}, {{"MIX", "Channel Library"}}},
                      ChainCase{"TrailingBlanksAndControlsGo",
                                {{2, {"AB  \x01\x7f", "C D   "}}},
                                {{"AB", "EQ Library"}, {"C D", "EQ Library"}}},
                      ChainCase{"NamesFoldedToUpperCase",
                                {{5, {"b", "A", "_x", "Z"}}},
                                {{"A", "Automation Data"},
                                 {"b", "Automation Data"},
                                 {"Z", "Automation Data"},
                                 {"_x", "Automation Data"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CardListTest, ASecondChainAddsNoDuplicates)
{
  const std::map<int, std::vector<std::string>> card{{0, {"LIVE"}}, {8, {"V11F"}}};
  RunChain(card);
  // A refresh while the first chain still runs: both reach type 8.
  RunChain(card);
  h.batch().CardDirectoryReply(0, {"LIVE"}, false);
  EXPECT_EQ(RowsOf(List()), (Rows{{"LIVE", "Project (all)"}, {"V11F", "Operating System"}}));
}

TEST_F(CardListTest, SerialSortsAfterTypeEightMidiAfterEveryReply)
{
  h.batch().RequestCardDirectory(-1);
  h.batch().CardDirectoryReply(0, {"B", "A"}, false);
  EXPECT_EQ(RowsOf(List()), (Rows{{"B", "Project (all)"}, {"A", "Project (all)"}}));
  h.batch().RequestCardDirectory(-1);
  h.batch().CardDirectoryReply(0, {"B", "A"}, true);
  EXPECT_EQ(RowsOf(List()), (Rows{{"A", "Project (all)"}, {"B", "Project (all)"}}));
}

TEST_F(CardListTest, TypeColumnOrdersByDisplayNameAscendingOnly)
{
  RunChain({{0, {"P"}}, {1, {"C"}}, {2, {"Q"}}, {4, {"F"}}, {5, {"A"}}, {8, {"O"}}});
  h.Form().SolanoView()->header()->sectionClicked(1);
  const Rows byType{{"A", "Automation Data"}, {"C", "Channel Library"},  {"F", "Effects Library"},
                    {"Q", "EQ Library"},      {"O", "Operating System"}, {"P", "Project (all)"}};
  EXPECT_EQ(RowsOf(List()), byType);
  h.Form().SolanoView()->header()->sectionClicked(1);
  EXPECT_EQ(RowsOf(List()), byType) << "a second click sorts the same way again";
  h.Form().SolanoView()->header()->sectionClicked(0);
  EXPECT_EQ(List().RowName(0), QStringLiteral("A"));
  EXPECT_EQ(List().RowName(5), QStringLiteral("Q"));
}

TEST_F(CardListTest, SortingKeepsTheSelection)
{
  RunChain({{1, {"C", "A", "B"}}});
  List().topLevelItem(2)->setSelected(true); // "C"
  List().ViewColumnClick(1);
  List().ViewColumnClick(0);
  ASSERT_EQ(List().SelectedCount(), 1);
  EXPECT_EQ(List().Caption(List().FirstSelected()), "C");
}

TEST_F(CardListTest, TypeColumnGivesRoomToTheScrollBar)
{
  // The fixed widths, in a font small enough for them (a larger one widens
  // the columns: CardColumns below).
  QFont font = List().font();
  font.setPixelSize(6);
  List().setFont(font);
  h.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.Form()));
  EXPECT_EQ(List().columnWidth(0), 70);
  EXPECT_EQ(List().columnWidth(1), 114);
  std::vector<std::string> many;
  for (int i = 0; i < 80; ++i) // more than the small rows that fit
    many.push_back("F" + std::to_string(i));
  h.batch().CardDirectoryReply(1, many, true);
  EXPECT_TRUE(WaitUntil([&] { return List().columnWidth(1) == 98; }));
  h.Form().Update1Click();
  EXPECT_TRUE(WaitUntil([&] { return List().columnWidth(1) == 114; }));
}

// The columns fit the list's font; the fixed widths are the least they get.
class CardColumns : public CardListTest, public ::testing::WithParamInterface<int> {};

TEST_P(CardColumns, FitTheFontAndCanBeWidened)
{
  QFont font = List().font();
  font.setPixelSize(GetParam());
  List().setFont(font);
  h.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.Form()));
  const QFontMetrics m(font);
  const int name = List().columnWidth(0), type = List().columnWidth(1);
  EXPECT_GE(name, std::max(70, 8 * m.horizontalAdvance('W')));
  EXPECT_GE(type, std::max(114, m.horizontalAdvance("Operating System") + 16));
  if (GetParam() <= 6) {
    EXPECT_EQ(name, 70);
    EXPECT_EQ(type, 114);
  }
  std::vector<std::string> many;
  for (int i = 0; i < 80; ++i)
    many.push_back("F" + std::to_string(i));
  h.batch().CardDirectoryReply(1, many, true);
  EXPECT_TRUE(WaitUntil([&] { return List().columnWidth(1) == type - 16; })) << "room for the scroll bar";

  // What the user widens stays wide, scroll bar or not; what the user makes
  // narrower than its text springs back.
  EXPECT_EQ(List().header()->sectionResizeMode(0), QHeaderView::Interactive);
  EXPECT_EQ(List().header()->sectionResizeMode(1), QHeaderView::Interactive);
  List().header()->resizeSection(0, name + 30);
  List().header()->resizeSection(1, type + 40);
  h.Form().Update1Click();
  List().viewport()->repaint();
  EXPECT_EQ(List().columnWidth(0), name + 30);
  EXPECT_EQ(List().columnWidth(1), type + 40);
  h.batch().CardDirectoryReply(1, many, true);
  List().header()->resizeSection(0, 10);
  List().header()->resizeSection(1, 10);
  List().viewport()->repaint();
  EXPECT_EQ(List().columnWidth(0), name);
  EXPECT_EQ(List().columnWidth(1), type - 16);
}

INSTANTIATE_TEST_SUITE_P(PixelSizes, CardColumns, ::testing::Values(6, 13, 24));

struct CompareCase {
  const char* a;
  const char* b;
  int sign;
};

TEST(SolanoViewCompare, FoldsToUpperCaseAndPutsAPrefixFirst)
{
  const CompareCase cases[] = {
      {"abc", "ABC", 0},
      {"ab", "abc", -1},
      {"B", "a", 1},
      {"a_", "AZ", 1}, // '_' stands after the upper-case letters
      {"Effects Library", "EQ Library", -1},
      {"Automation Data", "Channel Library", -1},
      {"", "", 0},
  };
  for (const CompareCase& c : cases) {
    const int r = CardListView::CompareFolded(QString::fromLatin1(c.a), QString::fromLatin1(c.b));
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
  }
  EXPECT_EQ(CardListView::SolanoViewCompare("A", "", "B", "X", 1), 1) << "a row without a type";
}

// --- PC pane ---------------------------------------------------------------

class PcPaneTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(WriteFile(folder.filePath("big.kch"), QByteArray(1263000, 'b'))); // 1,234 KB
    ASSERT_TRUE(WriteFile(folder.filePath("small.kpr"), QByteArray(7000, 's')));  // 7 KB
    ASSERT_TRUE(WriteFile(folder.filePath("notes.txt"), QByteArray(10, 'n')));
    h.Show();
    ASSERT_TRUE(h.Form().PTShellTree1()->SetSelectedPathName(folder.path()));
    ASSERT_TRUE(WaitUntil([&] { return Pc().ItemCount() == 3 && Pc().Folder() == folder.path(); }));
  }
  TPTShellList& Pc() { return *h.Form().PCView(); }
  void Select(std::initializer_list<const char*> names)
  {
    Pc().clearSelection();
    for (const char* name : names)
      Pc().SetSelected(Pc().IndexOfCaption(QString::fromLatin1(name)), true);
  }
  QStringList Panels() { return {h.Form().StatusText(1), h.Form().StatusText(2)}; }

  QTemporaryDir folder;
  ProgramHarness h{QStringLiteral("[Communication]\nMedium=1\nComPort=0\n")};
};

TEST_F(PcPaneTest, SelectionStatusOfAllThreeLists)
{
  Select({"big.kch", "small.kpr"});
  EXPECT_EQ(Panels(), (QStringList{"2 object(s) selected", "1241 KB"}));
  Select({});
  EXPECT_EQ(Panels(), (QStringList{"", ""}));
  // Read again ("Update List"), the list has nothing selected, and says so.
  Select({"big.kch"});
  h.Form().UpdateList1Click();
  EXPECT_EQ(Panels(), (QStringList{"", ""}));
  ASSERT_TRUE(WaitUntil([&] { return Pc().ItemCount() == 3; }));

  h.batch().CardDirectoryReply(1, {"A", "B"}, true);
  h.Form().SolanoView()->selectAll();
  EXPECT_EQ(Panels(), (QStringList{"2 object(s) selected", ""}));
  // Sorting, by a column click or after a directory reply over MIDI, keeps the count.
  h.Form().ViewColumnClick(1);
  EXPECT_EQ(Panels(), (QStringList{"2 object(s) selected", ""}));
  h.batch().CardDirectoryReply(2, {"C"}, true);
  EXPECT_EQ(Panels(), (QStringList{"2 object(s) selected", ""}));
  h.Form().InternalView()->setCurrentItem(h.Form().InternalView()->topLevelItem(7));
  EXPECT_EQ(Panels(), (QStringList{"1 object(s) selected", ""}));
  h.Form().SelectAll2Click();
  EXPECT_EQ(h.Form().InternalView()->FirstSelected(), 8) << "one selection: the last row stays";
}

TEST_F(PcPaneTest, TheMenuOffersRenameForOneFileOnly)
{
  struct Case {
    std::initializer_list<const char*> selected;
    bool rename, others;
  };
  for (const Case& c :
       {Case{{}, false, false}, Case{{"big.kch"}, true, true}, Case{{"big.kch", "notes.txt"}, false, true}}) {
    Select(c.selected);
    h.Form().PopupMenu4Popup();
    EXPECT_EQ(h.Form().Action("Rename4")->isEnabled(), c.rename) << c.selected.size();
    for (const char* name : {"Delete4", "Cut4", "Copy4"})
      EXPECT_EQ(h.Form().Action(name)->isEnabled(), c.others) << name << " " << c.selected.size();
    for (const char* name : {"SelectAll", "Paste4", "UpdateList1"})
      EXPECT_TRUE(h.Form().Action(name)->isEnabled()) << name;
  }
}

TEST_F(PcPaneTest, RenamingKeepsTheExtension)
{
  shell::ShellFileModel& model = *Pc().Model();
  const QModelIndex index = model.index(folder.filePath("big.kch"));
  ASSERT_TRUE(index.isValid());
  EXPECT_TRUE(model.setData(index, QStringLiteral("song.txt")));
  EXPECT_TRUE(QFileInfo::exists(folder.filePath("song.kch")));
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("song.txt")));
}

TEST_F(PcPaneTest, HostSeesTheFolderAndTheSizes)
{
  EXPECT_EQ(QFileInfo(QString::fromStdString(h.program->Host().SelectedPcFolder())),
            QFileInfo(folder.path()));
  EXPECT_EQ(h.program->Host().PcListSizeText("BIG.KCH"), std::optional<std::string>("1,234 KB"));
  EXPECT_EQ(h.program->Host().PcListSizeText("missing.kch"), std::nullopt);
  Select({"big.kch", "small.kpr"});
  EXPECT_EQ(h.program->Form1().PcList().SelectedCount(), 2);
}

TEST_F(PcPaneTest, NewFolderAndUpOneLevel)
{
  h.Form().NewFolderBtnClick();
  EXPECT_TRUE(QFileInfo(folder.filePath("New Folder")).isDir());
  EXPECT_TRUE(h.prompter.boxes.empty());

  h.Form().FolderUpBtnClick();
  EXPECT_EQ(QFileInfo(h.Form().PTShellTree1()->GetSelectedPathName()),
            QFileInfo(QFileInfo(folder.path()).path()));
  ASSERT_TRUE(h.Form().PTShellTree1()->SetSelectedPathName(QStringLiteral("/")));
  h.Form().FolderUpBtnClick();
  EXPECT_EQ(h.Form().PTShellTree1()->GetSelectedPathName(), QStringLiteral("/"));
  EXPECT_TRUE(h.prompter.boxes.empty()) << "no stray box";
}

TEST(SelectionStatus, SizeTextsAddUpInKilobytes)
{
  struct Case {
    QStringList texts;
    qint64 kb;
  };
  const Case cases[] = {
      {{"1,234 KB", "7 KB"}, 1241},
      {{"0 KB"}, 0},
      {{"12,345,678 KB"}, 12345678},
      {{"", "many KB", "3 KB"}, 3}, // unreadable texts add nothing
      {{"KB", "5"}, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TForm1::SumSizeTexts(c.texts, QStringLiteral(",")), c.kb) << c.texts.join('|').toStdString();
}

TEST(Rename, TheExtensionCannotChange)
{
  const char* cases[][3] = {
      {"mix.kch", "song.txt", "song.kch"},   {"mix.kch", "song", "song.kch"},
      {"readme", "song.txt", "song"},        {"a.b.kch", "x.y.z", "x.y.kch"},
      {"mix.kch", ".hidden", ".hidden.kch"}, {"mix.kch", "song.kch", "song.kch"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TForm1::KeepExtension(c[0], c[1]), QString::fromLatin1(c[2])) << c[0] << " -> " << c[1];
}

// --- Layout -----------------------------------------------------------------

TEST(Layout, ListsGrowDownTheSplitterAlsoRightTheButtonsStayRight)
{
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"));
  TForm1& f = h.Form();
  QSignalSpy listed(f.PCView(), &TPTShellList::FolderChanged);
  h.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.Panel1()->resize(TForm1::kPanelDesignSize);
  // Internal Files is as wide as its longest row needs (at least 122); the
  // PC pane gives way.
  InternalListView& internal = *f.InternalView();
  const QFontMetrics metrics(internal.font());
  int widestLabel = 0;
  for (const DataTypeRow& row : DataTypeTable)
    widestLabel = std::max(widestLabel, metrics.horizontalAdvance(QLatin1String(row.label)));
  for (const DataTypeRow& row : DataTypeTable)
    EXPECT_LE(std::max(InternalListView::kNameX, InternalListView::kLabelX + widestLabel + 3) +
                  metrics.horizontalAdvance(QLatin1String(row.name)),
              std::min(internal.columnWidth(0), internal.viewport()->width()))
        << row.name << " is cut";
  const int wider = internal.width() - 122;
  ASSERT_GE(wider, 0);
  EXPECT_EQ(f.SolanoView()->geometry(), QRect(8, 29, 188, 294));
  EXPECT_EQ(internal.geometry(), QRect(205, 29, 122 + wider, 295));
  EXPECT_EQ(f.FolderUpBtn()->geometry(), QRect(612, 5, 20, 20));
  EXPECT_EQ(f.NewFolderBtn()->geometry(), QRect(636, 5, 20, 20));
  EXPECT_EQ(f.PTSplitter1()->geometry(), QRect(336 + wider, 29, 318 - wider, 295));
  EXPECT_EQ(f.PTSplitter1()->sizes().value(0), 139);
  // The column widths are set at the first paint and whenever a folder has
  // been listed: both are behind us before the window grows.
  f.repaint();
  ASSERT_TRUE(WaitUntil([&] { return listed.count() > 0; }));

  f.Panel1()->resize(TForm1::kPanelDesignSize + QSize(100, 50));
  EXPECT_EQ(f.SolanoView()->geometry(), QRect(8, 29, 188, 344)) << "grows down";
  EXPECT_EQ(internal.geometry(), QRect(205, 29, 122 + wider, 345));
  EXPECT_EQ(f.FolderUpBtn()->geometry(), QRect(712, 5, 20, 20)) << "stays at the right";
  EXPECT_EQ(f.NewFolderBtn()->geometry(), QRect(736, 5, 20, 20));
  EXPECT_EQ(f.PTSplitter1()->geometry(), QRect(336 + wider, 29, 418 - wider, 345)) << "grows down and right";
  // The PC list's last column (the date) takes the new width.
  EXPECT_TRUE(WaitUntil([&] { return f.PCView()->ColumnWidth(3) == f.PCView()->ClientWidth() - 213; }))
      << f.PCView()->ColumnWidth(3) << " of " << f.PCView()->ClientWidth();

  f.resize(10, 10);
  EXPECT_EQ(f.size(), f.minimumSize());
  EXPECT_GE(f.Panel1()->height(), 113);
}

} // namespace
} // namespace zr::test
