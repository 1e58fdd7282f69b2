// The card list `SolanoView`: one row per file on the console's memory card,
// name and data type, filled type by type by the directory chain, sorted by
// either column in one direction only.
#pragma once

#include <string>
#include <vector>

#include <QSet>
#include <QTreeWidget>

#include "app/list_drop.h"
#include "app/list_gestures.h"

namespace zr {

class CardListView : public DropTreeWidget, public ListAccess {
  Q_OBJECT
public:
  // The least widths of the columns; a larger font widens them, and so can
  // the user.
  static constexpr int kNameWidth = 70;
  static constexpr int kTypeWidth = 114;
  // With a vertical scroll bar the Type column gives it room.
  static constexpr int kTypeWidthScrolled = 98;

  explicit CardListView(QWidget* parent = nullptr);

  // Removes every row.
  void ClearRows();
  // The entries of one directory reply: names not yet listed with this
  // type are added at the end. Returns the number of rows added.
  int AddEntries(int type, const std::vector<std::string>& names);
  // Sorts by `CardSortColumn` with `SolanoViewCompare`, ascending.
  void SortRows();
  // Column click: that column becomes the sort column, and the rows are sorted.
  void ViewColumnClick(int column);
  // Selects every row and takes the focus.
  void SelectAll1Click();
  // The Type column is narrower while not every row fits (SolanoViewCustomDraw).
  void SolanoViewCustomDraw();
  // What the columns need in the list's font: eight of its widest
  // characters for a name, the longest type name (at least the fixed widths).
  int NameWidth() const { return nameWidth_; }
  int TypeWidth(bool scrolled) const
  {
    return scrolled ? typeWidthScrolled_ : typeWidthScrolled_ + kTypeWidth - kTypeWidthScrolled;
  }

  // The order of two rows: negative, zero or positive. Letters a to z fold
  // to upper case and the bytes compare in order, a text that begins the
  // other first; column 0 compares the names, 1 the type names.
  static int SolanoViewCompare(const QString& aName, const QString& aType, const QString& bName,
                               const QString& bType, int column);
  static int CompareFolded(const QString& a, const QString& b);

  int CardSortColumn = 0;

  // Row access for tests and the window.
  QString RowName(int row) const;
  QString RowType(int row) const;

  // ListAccess
  int Count() const override;
  bool IsSelected(int index) const override;
  std::string Caption(int index) const override;
  int ImageIndex(int index) const override;

protected:
  bool viewportEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  // False when the list has a row of this name and type already.
  bool AddRowKey(const QString& name, int type);
  QSet<QString> rowKeys_;
  void MeasureFont();
  void SetWidth(int column, int width);

  int nameWidth_ = kNameWidth;
  int typeWidthScrolled_ = kTypeWidthScrolled;
  // What the user dragged the columns to (0: never); they never get
  // narrower than the list needs.
  int userNameWidth_ = 0;
  int userTypeWidth_ = 0;
  bool settingWidth_ = false;
};

// A card file name as the list shows it: trailing blanks and control
// characters removed, other bytes kept as Latin-1 characters.
QString CardRowName(const std::string& entry);

} // namespace zr
